#pragma once

#include <list>
#include <unordered_map>

// Large requests are read and worked on a few at a time, so that their memory stays bounded however many arrive: the
// others wait in line, their bodies unread, in the order they came. A request leaves the line the moment its
// connection closes, and nothing of it stays behind. Used on the network thread only.
class RequestTurns
{
public:
    // One that waits in line.
    class Waiter
    {
    public:
        // A turn given back is this one's from now on: it reads in a step of its own, so that whatever reading meets
        // is its own, never the one that gave the turn back.
        virtual void turnGiven() noexcept = 0;

    protected:
        ~Waiter() = default;
    };

    explicit RequestTurns(int atOnce);

    // Takes a turn that is free, true; else lines the waiter up for the next one given back.
    bool await(Waiter* waiter);
    // The waiter no longer waits for a turn.
    void leave(Waiter* waiter);
    // A turn taken before has ended: the first in line is given it.
    void release();
    bool anyWaiting() const { return !m_line.empty(); }

private:
    int m_free;
    std::list<Waiter*> m_line;
    std::unordered_map<Waiter*, std::list<Waiter*>::iterator> m_places;
};
