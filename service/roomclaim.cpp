#include "roomclaim.h"

#include "connectionsteps.h"
#include "servicelog.h"
#include "warningpace.h"

#include <utility>

RoomClaim::RoomClaim(ConnectionSteps& steps, Events& events, MemoryBudget& memory, boost::asio::io_context& network)
    : m_steps(steps), m_events(events), m_memory(memory), m_timer(network)
{
}

bool RoomClaim::claim(qint64 bytes, Clock::time_point deadline)
{
    const std::string& client = m_steps.client();
    if (m_memory.claim(this, client, bytes)) {
        m_held += bytes;
        return true;
    }
    m_wanted = bytes;
    m_waitDeadline = deadline;
    qCDebug(lcTurns).noquote() << QString("a request from %1 waits for room").arg(client.c_str());
    static WarningPace pace;
    pace.warn(QString("memory for requests is all taken (%1 MB): a request from %2 waits for room to be read")
                  .arg(m_memory.total() / (1024 * 1024))
                  .arg(client.c_str()));
    awaitRoom(m_memory.serveWaiting());
    return false;
}

void RoomClaim::awaitRoom(std::optional<Clock::time_point> stall)
{
    m_timer.timer().expires_at(stall ? std::min(*stall, m_waitDeadline) : m_waitDeadline);
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (error || m_wanted == 0 || m_released)
            return;
        if (Clock::now() < m_waitDeadline) {
            const std::optional<Clock::time_point> next = m_memory.serveWaiting();
            if (m_wanted > 0)
                awaitRoom(next);
            return;
        }
        // A head's claim as a body's: the client is told, not left to find its connection closed.
        static WarningPace pace;
        pace.warn(QString("a request from %1 waited for room in vain").arg(m_steps.client().c_str()));
        m_events.roomWaitEnded();
    }));
}

void RoomClaim::roomMade() noexcept
{
    auto granted = [this, bytes = std::exchange(m_wanted, 0)] {
        if (m_released)
            return;
        m_timer.cancel();
        m_held += bytes;
        m_events.roomMade(bytes);
    };
    // Told while another gives its memory back, in that one's close: the room is taken in a step of this one's own.
    m_steps.later(m_timer.context(), std::move(granted));
}

void RoomClaim::evict() noexcept
{
    // The budget has taken back all it held: nothing is read into it again.
    m_held = 0;
    m_wanted = 0;
    m_timer.cancel();
    m_events.roomTaken();
    static WarningPace pace;
    pace.warnIfAble([this] {
        return QString("memory for requests is all taken: told a request of %1 that sent too slowly or held far past "
                       "its share that the service is busy")
            .arg(m_steps.client().c_str());
    });
}

void RoomClaim::readdress()
{
    m_memory.readdress(this, m_steps.client());
}

void RoomClaim::progressed(qint64 bytes)
{
    m_memory.progressed(this, bytes);
}

void RoomClaim::pause()
{
    m_memory.pause(this);
}

void RoomClaim::pin()
{
    m_memory.resume(this);
    m_memory.pin(this);
}

void RoomClaim::release() noexcept
{
    m_released = true;
    m_timer.cancel();
    m_wanted = 0;
    m_held = 0;
    // Runs in a close, a destructor's too. The budget takes the memory back before it grants claims that wait; should
    // granting them fail, those claims are looked at again when their waits next wake.
    try {
        m_memory.release(this);
    } catch (...) {
    }
}
