#include "largeturn.h"

#include "connectionsteps.h"
#include "servicelog.h"
#include "transferrules.h"
#include "warningpace.h"

#include <utility>

namespace {
// A large body that comes slower than the real pace over this long gives its turn to one waiting.
const std::chrono::seconds paceWindow(10);
} // namespace

LargeTurn::LargeTurn(ConnectionSteps& steps, Events& events, RequestTurns& turns, boost::asio::io_context& network,
                     std::chrono::seconds idle, std::chrono::seconds lineWait)
    : m_steps(steps), m_events(events), m_turns(turns), m_idle(idle), m_lineWait(lineWait), m_timer(network)
{
}

LargeTurn::Clock::time_point LargeTurn::awaitBytes()
{
    m_stage = Stage::Arriving;
    const Clock::time_point deadline = Clock::now() + m_idle;
    m_timer.timer().expires_at(deadline);
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (!error && m_stage == Stage::Arriving)
            m_events.bodyNeverCame();
    }));
    return deadline;
}

void LargeTurn::enterLine()
{
    m_stage = Stage::InLine;
    m_timer.timer().expires_after(m_lineWait);
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (error || m_stage != Stage::InLine)
            return;
        static WarningPace pace;
        pace.warn(QString("a large request from %1 waited its turn in vain").arg(m_steps.client().c_str()));
        m_events.turnRefused();
    }));
    if (m_turns.await(this)) {
        m_holds = true;
        return begin();
    }
    qCDebug(lcTurns).noquote()
        << QString("a large request from %1 waits in line for its turn").arg(m_steps.client().c_str());
}

void LargeTurn::turnGiven() noexcept
{
    // The turn is this request's from now on, and goes back when its connection closes, even before its step runs.
    m_holds = true;
    // Should not even a step be made for it, it goes, and its turn with it to the next.
    m_steps.later(m_timer.context(), [this] {
        if (m_stage == Stage::InLine)
            begin();
    });
}

void LargeTurn::begin()
{
    m_stage = Stage::Reading;
    m_timer.cancel();
    qCDebug(lcTurns).noquote() << QString("a large request from %1 took its turn").arg(m_steps.client().c_str());
    m_events.turnTaken();
}

void LargeTurn::watchPace()
{
    m_paced = 0;
    m_timer.timer().expires_after(paceWindow);
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (!error && m_stage == Stage::Reading)
            paceWatched();
    }));
}

void LargeTurn::paceWatched()
{
    if (m_paced < TransferRules::realPace * paceWindow.count() && m_turns.anyWaiting()) {
        qCDebug(lcTurns).noquote() << QString(
                                          "a large request from %1 sent under %2 KB/s: its turn goes to one waiting")
                                          .arg(m_steps.client().c_str())
                                          .arg(TransferRules::realPace / 1024);
        m_stage = Stage::Read;
        return m_events.turnRefused();
    }
    watchPace();
}

void LargeTurn::bodyWhole()
{
    m_stage = Stage::Read;
    m_timer.cancel();
}

void LargeTurn::release()
{
    m_stage = Stage::Outside;
    m_timer.cancel();
    m_turns.leave(this);
    if (std::exchange(m_holds, false))
        m_turns.release();
}
