#include "floorwatch.h"

#include "connectionsteps.h"
#include "transferrules.h"

#include <utility>

FloorWatch::FloorWatch(ConnectionSteps& steps, boost::asio::io_context& network) : m_steps(steps), m_timer(network) {}

void FloorWatch::start(std::chrono::seconds window, std::function<void()> fell)
{
    m_window = window;
    m_fell = std::move(fell);
    m_watching = true;
    awaitWindow();
}

void FloorWatch::stop()
{
    m_watching = false;
    m_timer.cancel();
}

void FloorWatch::awaitWindow()
{
    m_counted = 0;
    m_timer.timer().expires_after(m_window);
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (error || !m_watching)
            return;
        // A window that brought nothing is silence, which its reader's own time ends under its own name.
        if (m_counted == 0 || m_counted >= TransferRules::floorPace * m_window.count())
            return awaitWindow();
        m_watching = false;
        m_fell();
    }));
}
