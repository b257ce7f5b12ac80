#include "loginthrottle.h"

LoginThrottle::LoginThrottle(int limit, std::chrono::seconds window) : m_limit(std::size_t(limit)), m_window(window) {}

bool LoginThrottle::refuses(const std::string& address)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_failures.find(address);
    return found != m_failures.end() && inWindow(found->second, Clock::now()) >= m_limit;
}

bool LoginThrottle::failed(const std::string& address)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    // Many addresses with a failure or two each would otherwise be kept for ever.
    if (m_failures.size() >= m_sweepAt) {
        for (auto i = m_failures.begin(); i != m_failures.end();)
            i = inWindow(i->second, now) == 0 ? m_failures.erase(i) : std::next(i);
        m_sweepAt = std::max<std::size_t>(1024, 2 * m_failures.size());
    }
    Failures& failures = m_failures[address];
    inWindow(failures, now);
    failures.push_back(now);
    return failures.size() == m_limit;
}

std::size_t LoginThrottle::inWindow(Failures& failures, Clock::time_point now) const
{
    while (!failures.empty() && failures.front() <= now - m_window)
        failures.pop_front();
    return failures.size();
}
