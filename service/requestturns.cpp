#include "requestturns.h"

RequestTurns::RequestTurns(int atOnce) : m_free(atOnce) {}

bool RequestTurns::await(Waiter* waiter)
{
    if (m_free > 0) {
        --m_free;
        return true;
    }
    // The waiter's place is made apart and joins the line only once the map can find it: whichever allocation fails,
    // nothing is left in line for a later release to give a turn to. A splice keeps the place where the map points.
    std::list<Waiter*> place{waiter};
    m_places.emplace(waiter, place.begin());
    m_line.splice(m_line.end(), place);
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
