#pragma once

#include <QString>

#include <chrono>
#include <mutex>

// Lets a warning that a hostile client could cause thousands of times a second reach the operator's log at most once
// in a while, with the number held back meanwhile. Any thread may use it.
class WarningPace
{
public:
    explicit WarningPace(std::chrono::seconds interval = std::chrono::seconds(10));

    // Logs the warning unless one went out less than the interval ago.
    void warn(const QString& text);
    // Logs the warning the function makes, as warn() does, unless making or logging it fails: in a step that is
    // already handling a failure, a warning is never worth failing again.
    template <typename Text> void warnIfAble(Text text) noexcept
    {
        try {
            warn(text());
        } catch (...) {
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    std::chrono::seconds m_interval;
    std::mutex m_mutex;
    Clock::time_point m_next;
    int m_heldBack = 0;
};
