#include "requestturns.h"

RequestTurns::RequestTurns(int atOnce) : m_free(atOnce) {}

bool RequestTurns::await(Waiter* waiter)
{
    if (m_free > 0) {
        --m_free;
        return true;
    }
    m_places.emplace(waiter, m_line.insert(m_line.end(), waiter));
    return false;
}

void RequestTurns::leave(Waiter* waiter)
{
    const auto found = m_places.find(waiter);
    if (found == m_places.end())
        return;
    m_line.erase(found->second);
    m_places.erase(found);
}

void RequestTurns::release()
{
    ++m_free;
    while (m_free > 0 && !m_line.empty()) {
        Waiter* next = m_line.front();
        leave(next);
        --m_free;
        next->turnGiven();
    }
}
