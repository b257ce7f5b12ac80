#pragma once

#include "lazytimer.h"
#include "memorybudget.h"

#include <QtGlobal>

#include <chrono>
#include <optional>

class ConnectionSteps;

// The memory a connection's request is read into, claimed from the server's budget: a head's room as its bytes come,
// a body's whole room by its declared length once the head is read (the room the head took is the body's first). A
// claim that finds no room waits until the budget grants it, or until its deadline; a request whose room the budget
// takes back for a claim that waits (it came too slowly, or its address holds far past its share) has lost it for
// good. It tells the connection which, and says in the log why the memory ran short.
class RoomClaim : public MemoryBudget::Holder
{
public:
    using Clock = std::chrono::steady_clock;

    class Events
    {
    public:
        // A claim that waited has its room, of that many bytes.
        virtual void roomMade(qint64 bytes) = 0;
        // A claim waited until its deadline in vain.
        virtual void roomWaitEnded() = 0;
        // The budget took back all the request held, for another's claim: nothing is read into it again. Told while
        // the budget makes room: whatever the connection meets is its own.
        virtual void roomTaken() noexcept = 0;

    protected:
        ~Events() = default;
    };

    RoomClaim(ConnectionSteps& steps, Events& events, MemoryBudget& memory, boost::asio::io_context& network);

    // Claims that many bytes more, counted under the connection's client, waiting for them until the deadline; false
    // while the claim waits.
    bool claim(qint64 bytes, Clock::time_point deadline);
    qint64 held() const { return m_held; }
    // The connection's client has changed, as a proxy's head names it: what the request holds and waits for counts
    // under it from now on.
    void readdress();
    void progressed(qint64 bytes);
    // The service does not read the request while it waits in line for its turn: meanwhile it is never without
    // progress.
    void pause();
    // The request's memory is worked on, or its turn's: it is not taken from it for another.
    void pin();
    // Gives back all the request held, and drops a claim that waits, for good.
    void release() noexcept;

    void evict() noexcept override;
    void roomMade() noexcept override;

private:
    // Waits for room until the next time a holder comes to give way, or the deadline.
    void awaitRoom(std::optional<Clock::time_point> stall);

    ConnectionSteps& m_steps;
    Events& m_events;
    MemoryBudget& m_memory;
    // The bytes of a claim that waits, and until when it may; the bytes the budget has granted.
    qint64 m_wanted = 0;
    Clock::time_point m_waitDeadline;
    qint64 m_held = 0;
    bool m_released = false;
    LazyTimer m_timer;
};
