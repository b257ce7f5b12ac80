#include "loginthrottle.h"

#include "servicelog.h"

#include <QDateTime>
#include <QString>

namespace {
// The wall-clock time of a steady-clock time point, as the operator's log shows its own.
QString clockTime(std::chrono::steady_clock::time_point point)
{
    const auto fromNow =
        std::chrono::duration_cast<std::chrono::milliseconds>(point - std::chrono::steady_clock::now());
    return QDateTime::currentDateTime().addMSecs(fromNow.count()).toString("hh:mm:ss");
}
} // namespace

LoginThrottle::LoginThrottle(int limit, std::chrono::seconds window)
    : m_limit(std::size_t(limit)), m_window(window), m_announcer(&LoginThrottle::announceLifts, this)
{
}

LoginThrottle::~LoginThrottle()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_liftsChanged.notify_all();
    m_announcer.join();
}

bool LoginThrottle::admit(const std::string& address)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    // Many addresses with a failure or two each would otherwise be kept for ever.
    if (m_addresses.size() >= m_sweepAt) {
        for (auto i = m_addresses.begin(); i != m_addresses.end();)
            i = inWindow(i->second, now) == 0 && i->second.checking == 0 ? m_addresses.erase(i) : std::next(i);
        m_sweepAt = std::max<std::size_t>(1024, 2 * m_addresses.size());
    }
    Address& counted = m_addresses[address];
    if (inWindow(counted, now) + std::size_t(counted.checking) >= m_limit)
        return false;
    ++counted.checking;
    return true;
}

void LoginThrottle::finish(const std::string& address, bool failed)
{
    QString refusal;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Address& counted = m_addresses[address];
        --counted.checking;
        if (!failed)
            return;
        const Clock::time_point now = Clock::now();
        inWindow(counted, now);
        counted.failures.push_back(now);
        if (counted.failures.size() < m_limit)
            return;
        const Clock::time_point lift = counted.failures.front() + m_window;
        refusal = QString("%1 failed password checks from %2 in %3 min; refused until %4")
                      .arg(counted.failures.size())
                      .arg(QString::fromStdString(address))
                      .arg(std::chrono::duration_cast<std::chrono::minutes>(m_window).count())
                      .arg(clockTime(lift));
        m_lifts.emplace(lift, address);
    }
    m_liftsChanged.notify_all();
    qCWarning(lcService).noquote() << refusal;
}

std::size_t LoginThrottle::inWindow(Address& address, Clock::time_point now) const
{
    while (!address.failures.empty() && address.failures.front() <= now - m_window)
        address.failures.pop_front();
    return address.failures.size();
}

void LoginThrottle::announceLifts()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (m_lifts.empty()) {
            m_liftsChanged.wait(lock);
        } else if (m_lifts.begin()->first > Clock::now()) {
            m_liftsChanged.wait_until(lock, m_lifts.begin()->first);
        } else {
            const std::string address = m_lifts.begin()->second;
            m_lifts.erase(m_lifts.begin());
            lock.unlock();
            qCWarning(lcService).noquote()
                << QString("password checks from %1 allowed again").arg(QString::fromStdString(address));
            lock.lock();
        }
    }
}
