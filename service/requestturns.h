#pragma once

#include <list>
#include <unordered_map>

class LargeTurn;

// Large requests are read and worked on a few at a time, so that their memory stays bounded however many arrive: the
// others wait in line, their bodies unread, in the order they came. A request leaves the line the moment its
// connection closes, and nothing of it stays behind. Used on the network thread only.
class RequestTurns
{
public:
    explicit RequestTurns(int atOnce);

    // Gives the request its turn now when one is free, else when one comes free while it waits.
    void await(LargeTurn* turn);
    // The request no longer waits for a turn.
    void leave(LargeTurn* turn);
    // A turn given before has ended: the first in line is handed it, and reads in a step of its own.
    void release();
    bool anyWaiting() const { return !m_line.empty(); }

private:
    int m_free;
    std::list<LargeTurn*> m_line;
    std::unordered_map<LargeTurn*, std::list<LargeTurn*>::iterator> m_places;
};
