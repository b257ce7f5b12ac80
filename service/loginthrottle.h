#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

// Counts the failed password checks of each client address over a sliding window. An address that has reached the
// limit is refused further checks until its oldest counted failure has left the window, so that guessing from one
// address gets a few tries in the window, not thousands a second. Checks under way count against the limit as if
// they failed, so that however many come at once no more are made than the limit allows. A success does not reset
// the count: an account of the guesser's own would otherwise reset it at will. The operator's log says when an
// address is refused and when it may try again. Any thread may use it.
class LoginThrottle
{
public:
    LoginThrottle(int limit, std::chrono::seconds window);
    ~LoginThrottle();

    // Whether the address may have a password checked now; if so, the check counts until finish() is called for it.
    bool admit(const std::string& address);
    // Ends a check that admit() allowed; a failed one stays counted for the window.
    void finish(const std::string& address, bool failed);

private:
    using Clock = std::chrono::steady_clock;
    struct Address
    {
        std::deque<Clock::time_point> failures;
        int checking = 0;
    };

    // Forgets the failures that have left the window and counts the others.
    std::size_t inWindow(Address& address, Clock::time_point now) const;
    // Tells the operator, as each refused address may try again, that it may.
    void announceLifts();

    std::size_t m_limit;
    std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, Address> m_addresses;
    std::size_t m_sweepAt = 1024;
    // The refused addresses by the time they may try again.
    std::multimap<Clock::time_point, std::string> m_lifts;
    std::condition_variable m_liftsChanged;
    bool m_stopping = false;
    std::thread m_announcer;
};
