#include "largeturn.h"

#include "httpconnection.h"
#include "httpserver.h"
#include "servicelog.h"
#include "warningpace.h"

#include <boost/asio/post.hpp>

#include <utility>

namespace {
using std::chrono::seconds;

// A large body that comes slower than this over the window gives its turn to one waiting.
const seconds paceWindow(10);
const qint64 turnPace = 64 * 1024;
} // namespace

LargeTurn::LargeTurn(HttpConnection& connection) : m_connection(connection), m_timer(connection.server().network()) {}

void LargeTurn::awaitBytes()
{
    m_connection.setState(HttpConnection::State::Arriving);
    if (m_connection.reader().holdsBytes())
        return enterLine();
    const auto deadline = HttpConnection::Clock::now() + m_connection.server().limits().idle;
    m_timer.timer().expires_at(deadline);
    m_timer.timer().async_wait(m_connection.guarded([this](const boost::system::error_code& error) {
        if (error || m_connection.state() != HttpConnection::State::Arriving)
            return;
        m_connection.reader().silent();
        m_connection.close();
    }));
    m_connection.reader().continueThen(deadline, [this] { m_connection.watch().watch(); });
}

void LargeTurn::enterLine()
{
    m_connection.setState(HttpConnection::State::InLine);
    m_timer.timer().expires_after(m_connection.server().limits().largeWait);
    m_timer.timer().async_wait(m_connection.guarded([this](const boost::system::error_code& error) {
        if (error || m_connection.state() != HttpConnection::State::InLine)
            return;
        static WarningPace pace;
        pace.warn(QString("a large request from %1 waited its turn in vain").arg(m_connection.client().c_str()));
        m_connection.answer(m_connection.server().handler().busy());
    }));
    // Unread while it waits, it is never without progress meanwhile.
    m_connection.room().pause();
    m_connection.server().turns().await(this);
    if (m_connection.state() == HttpConnection::State::InLine)
        m_connection.watch().watch();
}

void LargeTurn::takeTurn()
{
    m_holds = true;
    begin();
}

void LargeTurn::handOver() noexcept
{
    // The turn is this request's from now on, and goes back when its connection closes, even before its step runs.
    m_holds = true;
    try {
        boost::asio::post(m_connection.server().network(), m_connection.guarded([this] {
            if (m_connection.state() == HttpConnection::State::InLine)
                begin();
        }));
    } catch (...) {
        // Not even a step could be made for it: it goes, and its turn with it to the next.
        m_connection.close();
    }
}

void LargeTurn::begin()
{
    // Its body is its turn's memory; what its head took is not taken from it for another.
    m_connection.room().pin();
    m_timer.cancel();
    qCDebug(lcTurns).noquote() << QString("a large request from %1 took its turn").arg(m_connection.client().c_str());
    m_connection.startBody();
}

void LargeTurn::watchPace()
{
    const qint64 left = m_connection.reader().bodyLeft();
    m_timer.timer().expires_after(paceWindow);
    m_timer.timer().async_wait(m_connection.guarded([this, left](const boost::system::error_code& error) {
        if (!error && m_connection.state() == HttpConnection::State::Body)
            paceWatched(left);
    }));
}

void LargeTurn::paceWatched(qint64 left)
{
    if (left - m_connection.reader().bodyLeft() < turnPace * paceWindow.count() &&
        m_connection.server().turns().anyWaiting()) {
        qCDebug(lcTurns).noquote() << QString(
                                          "a large request from %1 sent under %2 KB/s: its turn goes to one waiting")
                                          .arg(m_connection.client().c_str())
                                          .arg(turnPace / 1024);
        return m_connection.answer(m_connection.server().handler().busy());
    }
    watchPace();
}

void LargeTurn::release()
{
    m_timer.cancel();
    m_connection.server().turns().leave(this);
    if (std::exchange(m_holds, false))
        m_connection.server().turns().release();
}
