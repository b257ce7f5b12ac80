#include "requestturns.h"

#include "httpconnection.h"

RequestTurns::RequestTurns(int atOnce) : m_free(atOnce) {}

void RequestTurns::await(const std::shared_ptr<HttpConnection>& connection)
{
    if (m_free > 0)
        give(connection);
    else
        m_line.push_back(connection);
}

void RequestTurns::release()
{
    ++m_free;
    while (m_free > 0 && !m_line.empty()) {
        const std::shared_ptr<HttpConnection> next = m_line.front().lock();
        m_line.pop_front();
        // A connection closed meanwhile, or one that gave up waiting, is passed over.
        if (next)
            give(next);
    }
}

bool RequestTurns::give(const std::shared_ptr<HttpConnection>& connection)
{
    --m_free;
    if (connection->takeTurn())
        return true;
    ++m_free;
    return false;
}
