#include "connectiontable.h"

ConnectionTable::ConnectionTable(int maxConnections, int perAddress)
    : m_maxConnections(maxConnections), m_perAddress(perAddress)
{
}

ConnectionTable::Admission ConnectionTable::admit(const std::string& peer)
{
    const auto found = m_perPeer.find(peer);
    if (found != m_perPeer.end() && found->second >= m_perAddress)
        return Admission::AddressFull;
    if (m_open >= m_maxConnections)
        return Admission::Full;
    ++m_perPeer[peer];
    ++m_open;
    return Admission::Admitted;
}

void ConnectionTable::leave(const std::string& peer)
{
    --m_open;
    const auto found = m_perPeer.find(peer);
    if (found != m_perPeer.end() && --found->second <= 0)
        m_perPeer.erase(found);
}

void ConnectionTable::startWaiting(HttpConnection* connection)
{
    if (m_places.count(connection) == 0)
        m_places.emplace(connection, m_waiting.insert(m_waiting.end(), connection));
}

void ConnectionTable::stopWaiting(HttpConnection* connection)
{
    const auto place = m_places.find(connection);
    if (place == m_places.end())
        return;
    m_waiting.erase(place->second);
    m_places.erase(place);
}

HttpConnection* ConnectionTable::longestWaiting() const
{
    return m_waiting.empty() ? nullptr : m_waiting.front();
}
