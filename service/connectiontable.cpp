#include "connectiontable.h"

ConnectionTable::ConnectionTable(int maxConnections, int perAddress)
    : m_maxConnections(maxConnections), m_perAddress(perAddress)
{
}

ConnectionTable::Admission ConnectionTable::admit(HttpConnection* connection, const std::string& address)
{
    if (addressFull(address))
        return Admission::AddressFull;
    if (int(m_entries.size()) >= m_maxConnections)
        return Admission::Full;
    Entry& entry = m_entries[connection];
    if (!address.empty()) {
        entry.address = address;
        ++m_perPeer[address];
    }
    progressed(connection);
    return Admission::Admitted;
}

bool ConnectionTable::claim(HttpConnection* connection, const std::string& address)
{
    const auto found = m_entries.find(connection);
    if (found == m_entries.end() || addressFull(address))
        return false;
    found->second.address = address;
    ++m_perPeer[address];
    return true;
}

void ConnectionTable::leave(HttpConnection* connection)
{
    const auto found = m_entries.find(connection);
    if (found == m_entries.end())
        return;
    leaveOrder(found->second);
    const auto counted = m_perPeer.find(found->second.address);
    if (counted != m_perPeer.end() && --counted->second <= 0)
        m_perPeer.erase(counted);
    m_entries.erase(found);
}

void ConnectionTable::progressed(HttpConnection* connection)
{
    const auto found = m_entries.find(connection);
    if (found == m_entries.end())
        return;
    Entry& entry = found->second;
    if (entry.inOrder)
        m_order.splice(m_order.end(), m_order, entry.place);
    else
        entry.place = m_order.insert(m_order.end(), connection);
    entry.inOrder = true;
}

void ConnectionTable::unread(HttpConnection* connection)
{
    const auto found = m_entries.find(connection);
    if (found != m_entries.end())
        leaveOrder(found->second);
}

HttpConnection* ConnectionTable::leastProgressed() const
{
    return m_order.empty() ? nullptr : m_order.front();
}

bool ConnectionTable::addressFull(const std::string& address) const
{
    const auto found = m_perPeer.find(address);
    return !address.empty() && found != m_perPeer.end() && found->second >= m_perAddress;
}

void ConnectionTable::leaveOrder(Entry& entry)
{
    if (entry.inOrder)
        m_order.erase(entry.place);
    entry.inOrder = false;
}
