#include "warningpace.h"

WarningPace::WarningPace(std::chrono::seconds interval) : m_interval(interval) {}

bool WarningPace::allow(int& heldBack)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    if (now < m_next) {
        ++m_heldBack;
        return false;
    }
    m_next = now + m_interval;
    heldBack = m_heldBack;
    m_heldBack = 0;
    return true;
}
