#include "workqueue.h"

#include "httpconnection.h"

#include <cmath>
#include <tuple>

namespace {
const std::chrono::seconds halfLife(10);
// Usage below this, a millisecond of work, counts as none.
const double faded = 0.001;
} // namespace

WorkQueue::WorkQueue(int workers, int waitingPerAddress)
    : m_idleWorkers(workers), m_waitingPerAddress(std::size_t(waitingPerAddress))
{
}

bool WorkQueue::add(const std::shared_ptr<HttpConnection>& connection, const std::string& address)
{
    const Clock::time_point now = Clock::now();
    sweep(now);
    Address& entry = m_addresses[address];
    if (entry.waiting.size() >= m_waitingPerAddress)
        return false;
    entry.waiting.push_back({connection, m_arrivals++});
    m_withWaiting.insert(address);
    dispatch();
    return true;
}

void WorkQueue::done(const std::string& address, Clock::duration worked)
{
    ++m_idleWorkers;
    const auto found = m_addresses.find(address);
    if (found != m_addresses.end()) {
        --found->second.working;
        found->second.usage = usage(found->second, Clock::now()) + std::chrono::duration<double>(worked).count();
    }
    dispatch();
}

void WorkQueue::dispatch()
{
    const Clock::time_point now = Clock::now();
    while (m_idleWorkers > 0 && !m_withWaiting.empty()) {
        // A look at every address with a request waiting: as many as there are connections at most.
        const std::string* next = nullptr;
        std::tuple<int, double, quint64> best;
        for (const std::string& address : m_withWaiting) {
            Address& candidate = m_addresses.at(address);
            const std::tuple<int, double, quint64> rank(candidate.working, usage(candidate, now),
                                                        candidate.waiting.front().arrival);
            if (!next || rank < best) {
                next = &address;
                best = rank;
            }
        }
        const std::string address = *next;
        Address& entry = m_addresses.at(address);
        const std::shared_ptr<HttpConnection> connection = std::move(entry.waiting.front().connection);
        entry.waiting.pop_front();
        if (entry.waiting.empty())
            m_withWaiting.erase(address);
        // A connection closed while it waited is passed over.
        if (connection->work()) {
            --m_idleWorkers;
            ++entry.working;
        }
    }
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
