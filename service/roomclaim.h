#pragma once

#include "lazytimer.h"
#include "memorybudget.h"

#include <QtGlobal>

#include <chrono>
#include <optional>

class HttpConnection;

// The memory a connection's request is read into, claimed from the server's budget: a head's room as its bytes come,
// a body's whole room by its declared length once the head is read (the room the head took is the body's first). A
// claim that finds no room waits, the connection's reading paused, until the budget grants it, or until its deadline,
// when the client is told the service is busy. A request whose room the budget takes back for a claim that waits (it
// came too slowly, or its address holds far past its share) is told so too, and nothing more is read into it.
class RoomClaim : public MemoryBudget::Holder
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RoomClaim(HttpConnection& connection);

    // Claims that many bytes more, waiting for them until the deadline; false while the claim waits.
    bool claim(qint64 bytes, Clock::time_point deadline);
    bool waiting() const { return m_wanted > 0; }
    qint64 held() const { return m_held; }
    // The client's address has changed, as a proxy's head names it: what the request holds counts under it now.
    void readdress();
    void progressed(qint64 bytes);
    // The service does not read the request while it waits in line for its turn: meanwhile it is never without
    // progress.
    void pause();
    // The request's memory is worked on, or its turn's: it is not taken from it for another.
    void pin();
    // Gives back all the request held, and drops a claim that waits.
    void release() noexcept;

    void evict() noexcept override;
    void roomMade() noexcept override;

private:
    // Waits for room until the next time a holder comes to give way, or the deadline.
    void awaitRoom(std::optional<Clock::time_point> stall);

    HttpConnection& m_connection;
    // The bytes of a claim that waits, and until when it may; the bytes the budget has granted.
    qint64 m_wanted = 0;
    Clock::time_point m_waitDeadline;
    qint64 m_held = 0;
    LazyTimer m_timer;
};
