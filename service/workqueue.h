#pragma once

#include <QtGlobal>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

class HttpConnection;

// Whole requests on their way to the workers, shared among client addresses: when a worker comes free it takes the
// oldest request of the address with the fewest requests being worked on, and of those the one whose requests took
// the least worker time in the last minute or so. An address that keeps the workers busy, or many such addresses,
// thus delays another's cheap request by about one request's work, not by all they sent. An address may have only a
// few requests waiting at once. Used on the network thread only.
class WorkQueue
{
public:
    using Clock = std::chrono::steady_clock;

    WorkQueue(int workers, int waitingPerAddress);

    // Hands the connection's request to a worker, now or when its turn comes; false, with nothing queued, when its
    // address already has its cap of requests waiting.
    bool add(const std::shared_ptr<HttpConnection>& connection, const std::string& address);
    // A request of the address handed to a worker has been answered after taking it for `worked`.
    void done(const std::string& address, Clock::duration worked);

private:
    struct Waiting
    {
        std::shared_ptr<HttpConnection> connection;
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

    void dispatch();
    // The address's usage as of now.
    double usage(Address& address, Clock::time_point now) const;
    // Forgets addresses with nothing waiting or being worked on whose usage has faded away.
    void sweep(Clock::time_point now);

    int m_idleWorkers;
    std::size_t m_waitingPerAddress;
    quint64 m_arrivals = 0;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_set<std::string> m_withWaiting;
    Clock::time_point m_nextSweep;
};
