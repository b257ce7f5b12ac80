#include "workqueue.h"

#include "servicelog.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace {
const std::chrono::seconds halfLife(10);
// Usage below this, a millisecond of work, counts as none.
const double faded = 0.001;

// Tells those who asked for the turns' log how a request takes its turn; a worker without the memory for the line
// goes on without it.
template <typename Text> void tellTurns(Text text) noexcept
{
    try {
        qCDebug(lcTurns).noquote() << text();
    } catch (...) {
    }
}
} // namespace

WorkQueue::WorkQueue(boost::asio::thread_pool& workers, int workerCount, int expensiveAtOnce, int waitingPerAddress,
                     std::function<Clock::time_point()> now)
    : m_workers(workers), m_now(std::move(now)), m_expensiveAtOnce(expensiveAtOnce),
      m_waitingPerAddress(std::size_t(waitingPerAddress)), m_idleWorkers(workerCount)
{
}

WorkQueue::Address::Address(const std::string& key) : key(key)
{
    for (std::size_t cost = 0; cost < unlisted.size(); ++cost)
        listing[cost] = unlisted[cost].insert(unlisted[cost].end(), this);
}

std::optional<quint64> WorkQueue::add(const std::string& address, Cost cost, Work work)
{
    // The request's place in its line, made before the queue is locked. What a request that cannot be queued holds,
    // its body among it, goes with it once the queue is free for others again.
    Line arriving;
    arriving.push_back({std::move(work), 0});
    const std::lock_guard<std::mutex> lock(m_mutex);
    sweep(m_now());
    Address& entry = m_addresses.try_emplace(address, address).first->second;
    if (entry.waitingCount() >= m_waitingPerAddress)
        return std::nullopt;
    const quint64 ticket = m_arrivals++;
    arriving.front().arrival = ticket;
    enqueue(entry, cost, arriving);
    // Expensive work that may not start yet is taken by the worker that ends the expensive work before it.
    if (m_idleWorkers > 0 && mayStart(cost)) {
        try {
            boost::asio::post(m_workers, [this] { runWaiting(); });
        } catch (...) {
            // The caller, told by the throw, holds no ticket to withdraw the work by, and its connection closes: the
            // work leaves with it, never to run for a client that has gone. The worker stays idle, for the next.
            arriving = takeOut(address, ticket);
            throw;
        }
        --m_idleWorkers;
    }
    return ticket;
}

bool WorkQueue::withdraw(const std::string& address, quint64 ticket)
{
    // What the work holds, a request's body among it, goes once the queue is free for others again.
    Line withdrawn;
    const std::lock_guard<std::mutex> lock(m_mutex);
    withdrawn = takeOut(address, ticket);
    return !withdrawn.empty();
}

WorkQueue::Line WorkQueue::takeOut(const std::string& address, quint64 ticket)
{
    Line taken;
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return taken;
    for (const Cost cost : {Cost::Cheap, Cost::Expensive}) {
        Line& waiting = found->second.waiting[std::size_t(cost)];
        const auto work = std::find_if(waiting.begin(), waiting.end(),
                                       [ticket](const Waiting& candidate) { return candidate.arrival == ticket; });
        if (work != waiting.end()) {
            take(found->second, cost, work, taken);
            break;
        }
    }
    return taken;
}

void WorkQueue::runWaiting()
{
    std::optional<Taken> taken;
    // The work taken, in a line of its own; kept past its run only when it goes to the expensive line.
    Line running;
    Clock::duration worked{};
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            const Clock::time_point now = m_now();
            if (taken) {
                Address& entry = *taken->address;
                --entry.working;
                m_expensiveWorking -= taken->cost == Cost::Expensive ? 1 : 0;
                entry.usage = usage(entry, now) + std::chrono::duration<double>(worked).count();
                // Not refused by the cap on waiting requests: it is one the address had waiting already.
                if (!running.empty())
                    enqueue(entry, Cost::Expensive, running);
            }
            taken = next(now);
            if (!taken) {
                ++m_idleWorkers;
                return;
            }
            Address& entry = *taken->address;
            take(entry, taken->cost, entry.waiting[std::size_t(taken->cost)].begin(), running);
            ++entry.working;
            m_expensiveWorking += taken->cost == Cost::Expensive ? 1 : 0;
        }
        tellTurns([&taken] {
            return QString("a worker took a request of %1 (%2)")
                .arg(taken->address->key.c_str(), taken->cost == Cost::Expensive ? "expensive" : "cheap");
        });
        const Clock::time_point started = m_now();
        const bool done = running.front().work(taken->cost) || taken->cost == Cost::Expensive;
        worked = m_now() - started;
        if (done) {
            // What the work held, a request's body among it, goes before the queue is locked again.
            running.clear();
        } else {
            tellTurns([&taken] {
                return QString("a request of %1 goes to the expensive line: it takes more than a cheap request's work")
                    .arg(taken->address->key.c_str());
            });
        }
    }
}

void WorkQueue::enqueue(Address& address, Cost cost, Line& arriving) noexcept
{
    const std::size_t line = std::size_t(cost);
    Line& waiting = address.waiting[line];
    const auto later =
        std::upper_bound(waiting.begin(), waiting.end(), arriving.front().arrival,
                         [](quint64 arrival, const Waiting& queued) { return arrival < queued.arrival; });
    waiting.splice(later, arriving);
    // An address listed already keeps its place: its entry is there, and none is left here to move.
    m_withWaiting[line].splice(m_withWaiting[line].end(), address.unlisted[line]);
}

void WorkQueue::take(Address& address, Cost cost, Line::iterator work, Line& taken) noexcept
{
    const std::size_t line = std::size_t(cost);
    Line& waiting = address.waiting[line];
    taken.splice(taken.end(), waiting, work);
    if (waiting.empty())
        address.unlisted[line].splice(address.unlisted[line].end(), m_withWaiting[line], address.listing[line]);
}

bool WorkQueue::mayStart(Cost cost) const
{
    return cost == Cost::Cheap || m_expensiveWorking < m_expensiveAtOnce;
}

std::optional<WorkQueue::Taken> WorkQueue::next(Clock::time_point now)
{
    // A look at every address with a request waiting: as many as there are connections at most.
    std::optional<Taken> best;
    std::tuple<int, double, quint64> bestRank;
    for (const Cost cost : {Cost::Cheap, Cost::Expensive}) {
        if (!mayStart(cost))
            continue;
        for (Address* candidate : m_withWaiting[std::size_t(cost)]) {
            const std::tuple<int, double, quint64> rank(candidate->working, usage(*candidate, now),
                                                        candidate->waiting[std::size_t(cost)].front().arrival);
            if (!best || rank < bestRank) {
                best = Taken{candidate, cost};
                bestRank = rank;
            }
        }
    }
    return best;
}

double WorkQueue::usage(Address& address, Clock::time_point now) const
{
    const double elapsed = std::chrono::duration<double>(now - address.counted).count();
    address.usage *= std::exp2(-elapsed / std::chrono::duration<double>(halfLife).count());
    address.counted = now;
    return address.usage;
}

void WorkQueue::sweep(Clock::time_point now)
{
    if (now < m_nextSweep)
        return;
    m_nextSweep = now + halfLife;
    for (auto i = m_addresses.begin(); i != m_addresses.end();) {
        Address& address = i->second;
        const bool idle = address.waitingCount() == 0 && address.working == 0 && usage(address, now) < faded;
        i = idle ? m_addresses.erase(i) : std::next(i);
    }
}
