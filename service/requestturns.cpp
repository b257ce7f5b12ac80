#include "requestturns.h"

#include "largeturn.h"

RequestTurns::RequestTurns(int atOnce) : m_free(atOnce) {}

void RequestTurns::await(LargeTurn* turn)
{
    if (m_free > 0) {
        --m_free;
        turn->takeTurn();
        return;
    }
    m_places.emplace(turn, m_line.insert(m_line.end(), turn));
}

void RequestTurns::leave(LargeTurn* turn)
{
    const auto found = m_places.find(turn);
    if (found == m_places.end())
        return;
    m_line.erase(found->second);
    m_places.erase(found);
}

void RequestTurns::release()
{
    ++m_free;
    while (m_free > 0 && !m_line.empty()) {
        LargeTurn* next = m_line.front();
        leave(next);
        --m_free;
        next->handOver();
    }
}
