#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// Counts the failed password checks of each client address over a sliding window. An address that has reached the
// limit is refused further checks until its oldest counted failure has left the window, so that guessing from one
// address gets a few tries in the window, not thousands a second. A success does not reset the count: an account
// of the guesser's own would otherwise reset it at will. Any thread may use it.
class LoginThrottle
{
public:
    LoginThrottle(int limit, std::chrono::seconds window);

    // Whether the address may not have its password checked now.
    bool refuses(const std::string& address);
    // Counts a failed check; true when this failure is the one that reaches the limit.
    bool failed(const std::string& address);

private:
    using Clock = std::chrono::steady_clock;
    using Failures = std::deque<Clock::time_point>;

    // Forgets the failures that have left the window and counts the others.
    std::size_t inWindow(Failures& failures, Clock::time_point now) const;

    std::size_t m_limit;
    std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, Failures> m_failures;
    std::size_t m_sweepAt = 1024;
};
