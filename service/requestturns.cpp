#include "requestturns.h"

#include "httpconnection.h"

RequestTurns::RequestTurns(int atOnce) : m_free(atOnce) {}

void RequestTurns::await(HttpConnection* connection)
{
    if (m_free > 0) {
        --m_free;
        connection->takeTurn();
        return;
    }
    m_places.emplace(connection, m_line.insert(m_line.end(), connection));
}

void RequestTurns::leave(HttpConnection* connection)
{
    const auto found = m_places.find(connection);
    if (found == m_places.end())
        return;
    m_line.erase(found->second);
    m_places.erase(found);
}

void RequestTurns::release()
{
    ++m_free;
    while (m_free > 0 && !m_line.empty()) {
        HttpConnection* next = m_line.front();
        leave(next);
        --m_free;
        // Taking the turn may end it at once, giving it back here.
        next->takeTurn();
    }
}
