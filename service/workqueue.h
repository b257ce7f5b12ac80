#pragma once

#include <QtGlobal>

#include <boost/asio/thread_pool.hpp>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

// Whole requests on their way to the workers, shared among client addresses: a worker that comes free takes the
// oldest request of the address with the fewest requests being worked on, and of those the one whose requests took
// the least worker time in the last minute or so. An address that keeps the workers busy, or many such addresses,
// thus delays another's cheap request by about one request's work, not by all they sent. An address may have only a
// few requests waiting at once, and a request whose client has gone is taken out before a worker spends time on it.
// Any thread may use it.
class WorkQueue
{
public:
    using Clock = std::chrono::steady_clock;
    using Work = std::function<void()>;

    // `now` reads the clock that worker time is measured and faded by.
    WorkQueue(boost::asio::thread_pool& workers, int workerCount, int waitingPerAddress,
              std::function<Clock::time_point()> now = Clock::now);

    // Runs the work of a request from the address on a worker, now or when its turn comes, and returns its ticket;
    // nothing, with nothing queued, when the address already has its cap of requests waiting.
    std::optional<quint64> add(const std::string& address, Work work);
    // Takes the work with the ticket out of the queue unless a worker has taken it already; whether it did.
    bool withdraw(const std::string& address, quint64 ticket);

private:
    struct Waiting
    {
        Work work;
        quint64 arrival;
    };
    struct Address
    {
        std::deque<Waiting> waiting;
        int working = 0;
        // Worker time taken, in seconds, fading by half every half-life, as of `counted`.
        double usage = 0;
        Clock::time_point counted;
    };

    // On a worker: runs the waiting work, each time the next in turn, until none is left.
    void runWaiting();
    // The address whose waiting work is next.
    const std::string& next(Clock::time_point now);
    // The address's usage as of now.
    double usage(Address& address, Clock::time_point now) const;
    // Forgets addresses with nothing waiting or being worked on whose usage has faded away.
    void sweep(Clock::time_point now);

    boost::asio::thread_pool& m_workers;
    std::function<Clock::time_point()> m_now;
    std::size_t m_waitingPerAddress;
    std::mutex m_mutex;
    int m_idleWorkers;
    quint64 m_arrivals = 0;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_set<std::string> m_withWaiting;
    Clock::time_point m_nextSweep;
};
