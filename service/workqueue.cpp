#include "workqueue.h"

#include "servicelog.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {
const std::chrono::seconds halfLife(10);
// Usage below this, a millisecond of work, counts as none.
const double faded = 0.001;
} // namespace

WorkQueue::WorkQueue(boost::asio::thread_pool& workers, int workerCount, int waitingPerAddress,
                     std::function<Clock::time_point()> now)
    : m_workers(workers), m_now(std::move(now)), m_waitingPerAddress(std::size_t(waitingPerAddress)),
      m_idleWorkers(workerCount)
{
}

std::optional<quint64> WorkQueue::add(const std::string& address, Work work)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    sweep(m_now());
    Address& entry = m_addresses[address];
    if (entry.waiting.size() >= m_waitingPerAddress)
        return std::nullopt;
    const quint64 ticket = m_arrivals++;
    entry.waiting.push_back({std::move(work), ticket});
    m_withWaiting.insert(address);
    if (m_idleWorkers > 0) {
        --m_idleWorkers;
        boost::asio::post(m_workers, [this] { runWaiting(); });
    }
    return ticket;
}

bool WorkQueue::withdraw(const std::string& address, quint64 ticket)
{
    Work withdrawn;
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return false;
    std::deque<Waiting>& waiting = found->second.waiting;
    const auto work = std::find_if(waiting.begin(), waiting.end(),
                                   [ticket](const Waiting& candidate) { return candidate.arrival == ticket; });
    if (work == waiting.end())
        return false;
    // What the work holds, a request's body among it, goes once the queue is free for others again.
    withdrawn = std::move(work->work);
    waiting.erase(work);
    if (waiting.empty())
        m_withWaiting.erase(address);
    return true;
}

void WorkQueue::runWaiting()
{
    std::string address;
    Clock::duration worked{};
    for (;;) {
        Work work;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            const Clock::time_point now = m_now();
            if (!address.empty()) {
                Address& done = m_addresses.at(address);
                --done.working;
                done.usage = usage(done, now) + std::chrono::duration<double>(worked).count();
            }
            if (m_withWaiting.empty()) {
                ++m_idleWorkers;
                return;
            }
            address = next(now);
            Address& entry = m_addresses.at(address);
            work = std::move(entry.waiting.front().work);
            entry.waiting.pop_front();
            if (entry.waiting.empty())
                m_withWaiting.erase(address);
            ++entry.working;
        }
        qCDebug(lcTurns).noquote() << QString("a worker took a request of %1").arg(address.c_str());
        const Clock::time_point started = m_now();
        work();
        worked = m_now() - started;
    }
}

const std::string& WorkQueue::next(Clock::time_point now)
{
    // A look at every address with a request waiting: as many as there are connections at most.
    const std::string* best = nullptr;
    std::tuple<int, double, quint64> bestRank;
    for (const std::string& address : m_withWaiting) {
        Address& candidate = m_addresses.at(address);
        const std::tuple<int, double, quint64> rank(candidate.working, usage(candidate, now),
                                                    candidate.waiting.front().arrival);
        if (!best || rank < bestRank) {
            best = &address;
            bestRank = rank;
        }
    }
    return *best;
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
        const bool idle = address.waiting.empty() && address.working == 0 && usage(address, now) < faded;
        i = idle ? m_addresses.erase(i) : std::next(i);
    }
}
