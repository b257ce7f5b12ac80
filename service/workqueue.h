#pragma once

#include <QtGlobal>

#include <boost/asio/thread_pool.hpp>

#include <array>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// Whole requests on their way to the workers, shared among client addresses. Each request comes told apart by its
// cost: cheap ones (a login, a small sync) take a page's work or so, expensive ones (a sync answered with much of
// its account, a large upload) may take seconds. What a request costs is often known only once a worker has asked
// the store: a request taken from the cheap line may then go to the expensive line with nothing done, keeping its
// ticket and its place among the requests waiting, once. Expensive requests hold at most the workers less a reserve at
// once, so that however many addresses each send one, a cheap request finds a worker once one of those at work on cheap
// requests comes free. Within what may start, a worker that comes free takes the oldest request of the address with the
// fewest requests being worked on, and of those the one whose requests took the least worker time in the last minute or
// so; many addresses with a cheap request each thus delay another's by one cheap request's work each at most, and an
// address that keeps the workers busy loses its place to those that do not. An address may have only a few requests
// waiting at once, and a request whose client has gone is taken out before a worker spends time on it. A worker takes
// its requests, and moves one to the expensive line, without wanting memory: a failure on a worker outside the work
// would end the service. Any thread may use it.
class WorkQueue
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Cost
    {
        Cheap,
        Expensive
    };
    // A request's work, told the line it was taken from. It returns false, having done nothing, to be worked on in
    // the expensive line instead; work taken from that line is done whatever it returns.
    using Work = std::function<bool(Cost)>;

    // `expensiveAtOnce`: the workers that expensive requests may hold at once, at least one. `now` reads the clock
    // that worker time is measured and faded by.
    WorkQueue(boost::asio::thread_pool& workers, int workerCount, int expensiveAtOnce, int waitingPerAddress,
              std::function<Clock::time_point()> now = Clock::now);

    // Runs the work of a request from the address on a worker, now or when its turn comes, and returns its ticket;
    // nothing, with nothing queued, when the address already has its cap of requests waiting. One that throws, for
    // want of memory, leaves nothing queued either.
    std::optional<quint64> add(const std::string& address, Cost cost, Work work);
    // Takes the work with the ticket out of the queue unless a worker has taken it already; whether it did.
    bool withdraw(const std::string& address, quint64 ticket);

private:
    struct Waiting
    {
        Work work;
        quint64 arrival = 0;
    };
    // A list, so that a request moves from one line to another, or to its worker and back, without wanting memory.
    using Line = std::list<Waiting>;
    struct Address;
    // The addresses with requests of one cost waiting, in no order.
    using Listing = std::list<Address*>;
    struct Address
    {
        explicit Address(const std::string& key);
        Address(const Address&) = delete;
        Address& operator=(const Address&) = delete;

        std::size_t waitingCount() const { return waiting[0].size() + waiting[1].size(); }

        const std::string key;
        // The requests waiting, in order of arrival, one line per cost.
        std::array<Line, 2> waiting;
        int working = 0;
        // Worker time taken, in seconds, fading by half every half-life, as of `counted`.
        double usage = 0;
        Clock::time_point counted;
        // Its entry in the listing of each cost, made with the address: kept here while it is not listed, and moved
        // there and back, so that listing it never wants memory.
        std::array<Listing, 2> unlisted;
        std::array<Listing::iterator, 2> listing;
    };
    struct Taken
    {
        Address* address;
        Cost cost;
    };

    // On a worker: runs the waiting work that may start, each time the next in turn, until none is left.
    void runWaiting();
    // Whether a request of that cost may start on a worker now.
    bool mayStart(Cost cost) const;
    // The address and cost whose waiting work is next; nothing when none may start.
    std::optional<Taken> next(Clock::time_point now);
    // Moves the one work of `arriving` into the address's line of that cost, in the order of arrival, and lists the
    // address among those with work of that cost waiting.
    void enqueue(Address& address, Cost cost, Line& arriving) noexcept;
    // Takes the waiting work with the ticket out of the address's lines; an empty line when none waits.
    Line takeOut(const std::string& address, quint64 ticket);
    // Moves the work out of the address's line of that cost to the end of `taken`, and the address out of that cost's
    // listing when its line is left empty.
    void take(Address& address, Cost cost, Line::iterator work, Line& taken) noexcept;
    // The address's usage as of now.
    double usage(Address& address, Clock::time_point now) const;
    // Forgets addresses with nothing waiting or being worked on whose usage has faded away.
    void sweep(Clock::time_point now);

    boost::asio::thread_pool& m_workers;
    std::function<Clock::time_point()> m_now;
    int m_expensiveAtOnce;
    std::size_t m_waitingPerAddress;
    std::mutex m_mutex;
    int m_idleWorkers;
    int m_expensiveWorking = 0;
    quint64 m_arrivals = 0;
    std::unordered_map<std::string, Address> m_addresses;
    // The addresses with requests of each cost waiting: those whose line of that cost holds any.
    std::array<Listing, 2> m_withWaiting;
    Clock::time_point m_nextSweep;
};
