#include "roomclaim.h"

#include "httpconnection.h"
#include "httpserver.h"
#include "warningpace.h"

#include <boost/asio/post.hpp>

#include <utility>

RoomClaim::RoomClaim(HttpConnection& connection) : m_connection(connection), m_timer(connection.server().network()) {}

bool RoomClaim::claim(qint64 bytes, Clock::time_point deadline)
{
    MemoryBudget& memory = m_connection.server().memory();
    if (memory.claim(this, m_connection.client(), bytes)) {
        m_held += bytes;
        return true;
    }
    m_wanted = bytes;
    m_waitDeadline = deadline;
    static WarningPace pace;
    pace.warn(QString("memory for requests is all taken (%1 MB): a request from %2 waits for room to be read")
                  .arg(memory.total() / (1024 * 1024))
                  .arg(m_connection.client().c_str()));
    awaitRoom(memory.serveWaiting());
    m_connection.watch().watch();
    return false;
}

void RoomClaim::awaitRoom(std::optional<Clock::time_point> stall)
{
    m_timer.timer().expires_at(stall ? std::min(*stall, m_waitDeadline) : m_waitDeadline);
    m_timer.timer().async_wait(m_connection.guarded([this](const boost::system::error_code& error) {
        if (error || m_wanted == 0 || m_connection.state() == HttpConnection::State::Closed)
            return;
        if (Clock::now() < m_waitDeadline) {
            const std::optional<Clock::time_point> next = m_connection.server().memory().serveWaiting();
            if (m_wanted > 0)
                awaitRoom(next);
            return;
        }
        // A head's claim as a body's: the client is told, not left to find its connection closed.
        static WarningPace pace;
        pace.warn(QString("a request from %1 waited for room in vain").arg(m_connection.client().c_str()));
        m_connection.answer(m_connection.server().handler().busy());
    }));
}

void RoomClaim::roomMade() noexcept
{
    auto granted = [this, bytes = std::exchange(m_wanted, 0)] {
        if (m_connection.state() == HttpConnection::State::Closed)
            return;
        m_timer.cancel();
        m_held += bytes;
        m_connection.roomMade(bytes);
    };
    // Told while another gives its memory back, in that one's close: the room is taken in a step of this one's own.
    try {
        boost::asio::post(m_connection.server().network(), m_connection.guarded(std::move(granted)));
    } catch (...) {
        m_connection.close();
    }
}

void RoomClaim::evict() noexcept
{
    // The budget has taken back all it held: nothing is read into it again.
    m_held = 0;
    m_wanted = 0;
    // Told while the budget makes room for another's claim: whatever answering meets is this connection's alone.
    try {
        m_timer.cancel();
        m_connection.refuse();
        static WarningPace pace;
        pace.warn(QString("memory for requests is all taken: told a request of %1 that sent too slowly or held far "
                          "past its share that the service is busy")
                      .arg(m_connection.client().c_str()));
    } catch (...) {
        m_connection.close();
    }
}

void RoomClaim::readdress()
{
    m_connection.server().memory().readdress(this, m_connection.client());
}

void RoomClaim::progressed(qint64 bytes)
{
    m_connection.server().memory().progressed(this, bytes);
}

void RoomClaim::pause()
{
    m_connection.server().memory().pause(this);
}

void RoomClaim::pin()
{
    MemoryBudget& memory = m_connection.server().memory();
    memory.resume(this);
    memory.pin(this);
}

void RoomClaim::release() noexcept
{
    m_timer.cancel();
    m_wanted = 0;
    m_held = 0;
    // Runs in a close, a destructor's too. The budget takes the memory back before it grants claims that wait; should
    // granting them fail, those claims are looked at again when their waits next wake.
    try {
        m_connection.server().memory().release(this);
    } catch (...) {
    }
}
