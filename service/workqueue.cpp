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
} // namespace

WorkQueue::WorkQueue(boost::asio::thread_pool& workers, int workerCount, int expensiveAtOnce, int waitingPerAddress,
                     std::function<Clock::time_point()> now)
    : m_workers(workers), m_now(std::move(now)), m_expensiveAtOnce(expensiveAtOnce),
      m_waitingPerAddress(std::size_t(waitingPerAddress)), m_idleWorkers(workerCount)
{
}

std::optional<quint64> WorkQueue::add(const std::string& address, Cost cost, Work work)
{
    // What a request that cannot be queued holds, its body among it, goes once the queue is free for others again.
    Work unqueued;
    const std::lock_guard<std::mutex> lock(m_mutex);
    sweep(m_now());
    Address& entry = m_addresses[address];
    if (entry.waitingCount() >= m_waitingPerAddress)
        return std::nullopt;
    const quint64 ticket = m_arrivals++;
    enqueue(address, cost, {std::move(work), ticket});
    // Expensive work that may not start yet is taken by the worker that ends the expensive work before it.
    if (m_idleWorkers > 0 && mayStart(cost)) {
        try {
            boost::asio::post(m_workers, [this] { runWaiting(); });
        } catch (...) {
            // The caller, told by the throw, holds no ticket to withdraw the work by, and its connection closes: the
            // work leaves with it, never to run for a client that has gone. The worker stays idle, for the next.
            unqueued = takeOut(address, ticket);
            throw;
        }
        --m_idleWorkers;
    }
    return ticket;
}

bool WorkQueue::withdraw(const std::string& address, quint64 ticket)
{
    // What the work holds, a request's body among it, goes once the queue is free for others again.
    Work withdrawn;
    const std::lock_guard<std::mutex> lock(m_mutex);
    withdrawn = takeOut(address, ticket);
    return bool(withdrawn);
}

WorkQueue::Work WorkQueue::takeOut(const std::string& address, quint64 ticket)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return {};
    for (std::size_t cost = 0; cost < m_withWaiting.size(); ++cost) {
        Line& waiting = found->second.waiting[cost];
        const auto work = std::find_if(waiting.begin(), waiting.end(),
                                       [ticket](const Waiting& candidate) { return candidate.arrival == ticket; });
        if (work == waiting.end())
            continue;
        Work taken = std::move(work->work);
        waiting.erase(work);
        if (waiting.empty())
            m_withWaiting[cost].erase(address);
        return taken;
    }
    return {};
}

void WorkQueue::runWaiting()
{
    std::optional<Taken> taken;
    // The work taken; kept past its run only when it goes to the expensive line.
    Waiting running;
    Clock::duration worked{};
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            const Clock::time_point now = m_now();
            if (taken) {
                Address& entry = m_addresses.at(taken->address);
                --entry.working;
                m_expensiveWorking -= taken->cost == Cost::Expensive ? 1 : 0;
                entry.usage = usage(entry, now) + std::chrono::duration<double>(worked).count();
                // Not refused by the cap on waiting requests: it is one the address had waiting already.
                if (running.work)
                    enqueue(taken->address, Cost::Expensive, std::exchange(running, Waiting()));
            }
            taken = next(now);
            if (!taken) {
                ++m_idleWorkers;
                return;
            }
            Address& entry = m_addresses.at(taken->address);
            Line& waiting = entry.waiting[std::size_t(taken->cost)];
            running = std::move(waiting.front());
            waiting.pop_front();
            if (waiting.empty())
                m_withWaiting[std::size_t(taken->cost)].erase(taken->address);
            ++entry.working;
            m_expensiveWorking += taken->cost == Cost::Expensive ? 1 : 0;
        }
        qCDebug(lcTurns).noquote() << QString("a worker took a request of %1 (%2)")
                                          .arg(taken->address.c_str(),
                                               taken->cost == Cost::Expensive ? "expensive" : "cheap");
        const Clock::time_point started = m_now();
        const bool done = running.work(taken->cost) || taken->cost == Cost::Expensive;
        worked = m_now() - started;
        if (done) {
            // What the work held, a request's body among it, goes before the queue is locked again.
            running = Waiting();
        } else {
            qCDebug(lcTurns).noquote()
                << QString("a request of %1 goes to the expensive line: it takes more than a cheap request's work")
                       .arg(taken->address.c_str());
        }
    }
}

void WorkQueue::enqueue(const std::string& address, Cost cost, Waiting waiting)
{
    Line& line = m_addresses[address].waiting[std::size_t(cost)];
    const auto later =
        std::upper_bound(line.begin(), line.end(), waiting.arrival,
                         [](quint64 arrival, const Waiting& queued) { return arrival < queued.arrival; });
    // Listed before it is lined up, and listed no longer when lining up fails: no work waits where no worker looks,
    // and no address is listed with nothing waiting.
    std::unordered_set<std::string>& listed = m_withWaiting[std::size_t(cost)];
    const bool newlyListed = listed.insert(address).second;
    try {
        line.insert(later, std::move(waiting));
    } catch (...) {
        if (newlyListed)
            listed.erase(address);
        throw;
    }
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
        for (const std::string& address : m_withWaiting[std::size_t(cost)]) {
            Address& candidate = m_addresses.at(address);
            const std::tuple<int, double, quint64> rank(candidate.working, usage(candidate, now),
                                                        candidate.waiting[std::size_t(cost)].front().arrival);
            if (!best || rank < bestRank) {
                best = Taken{address, cost};
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
