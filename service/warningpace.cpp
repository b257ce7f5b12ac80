#include "warningpace.h"

#include "servicelog.h"

#include <utility>

WarningPace::WarningPace(std::chrono::seconds interval) : m_interval(interval) {}

void WarningPace::warn(const QString& text)
{
    int heldBack = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Clock::time_point now = Clock::now();
        if (now < m_next) {
            ++m_heldBack;
            return;
        }
        m_next = now + m_interval;
        heldBack = std::exchange(m_heldBack, 0);
    }
    if (heldBack > 0)
        qCWarning(lcService).noquote() << text << QString("(and %1 more like it since the last notice)").arg(heldBack);
    else
        qCWarning(lcService).noquote() << text;
}
