#include "memorybudget.h"

#include <algorithm>
#include <vector>

MemoryBudget::MemoryBudget(qint64 total, std::function<Clock::time_point()> clock)
    : m_total(total), m_clock(std::move(clock))
{
}

bool MemoryBudget::claim(Holder* holder, const std::string& address, qint64 bytes)
{
    if (bytes <= 0)
        return true;
    auto found = m_holders.find(holder);
    if (found == m_holders.end()) {
        found = m_holders.emplace(holder, Entry()).first;
        found->second.address = address;
    } else if (found->second.address != address) {
        // A proxy's connection counts under the client its head names once it is read.
        Entry& entry = found->second;
        const std::string from = entry.address;
        unrank(from);
        unlist(entry);
        m_addresses.at(from).held -= entry.held;
        rank(from);
        entry.address = address;
        const qint64 held = std::exchange(entry.held, 0);
        m_used -= held;
        grant(holder, entry, held);
    }
    Entry& entry = found->second;
    if (m_used + bytes <= m_total) {
        grant(holder, entry, bytes);
        return true;
    }
    wait(holder, entry, bytes);
    return grantWaiting(holder);
}

void MemoryBudget::progressed(Holder* holder)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    Entry& entry = found->second;
    entry.lastProgress = m_clock();
    if (entry.listed) {
        m_byProgress.splice(m_byProgress.end(), m_byProgress, entry.inAll);
        Order& inAddress = m_addresses.at(entry.address).byProgress;
        inAddress.splice(inAddress.end(), inAddress, entry.inAddress);
    }
}

void MemoryBudget::pin(Holder* holder)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    unrank(found->second.address);
    unlist(found->second);
    found->second.pinned = true;
    rank(found->second.address);
}

void MemoryBudget::release(Holder* holder)
{
    drop(holder);
    if (!m_makingRoom)
        grantWaiting(nullptr);
}

std::optional<MemoryBudget::Clock::time_point> MemoryBudget::serveWaiting()
{
    if (!m_makingRoom)
        grantWaiting(nullptr);
    if (m_line.empty() || m_byProgress.empty())
        return std::nullopt;
    return m_holders.at(m_byProgress.front()).lastProgress + stallTime;
}

qint64 MemoryBudget::heldBy(const std::string& address) const
{
    const auto found = m_addresses.find(address);
    return found == m_addresses.end() ? 0 : found->second.held;
}

void MemoryBudget::makeRoom(const std::string& address, qint64 bytes)
{
    const bool making = std::exchange(m_makingRoom, true);
    while (m_used + bytes > m_total) {
        Holder* evicted = victim(address);
        if (evicted == nullptr)
            break;
        drop(evicted);
        evicted->evict();
    }
    m_makingRoom = making;
}

MemoryBudget::Holder* MemoryBudget::victim(const std::string& address) const
{
    if (!m_byProgress.empty()) {
        Holder* oldest = m_byProgress.front();
        if (m_clock() - m_holders.at(oldest).lastProgress >= stallTime)
            return oldest;
    }
    if (m_holding.empty())
        return nullptr;
    // Every address that holds or waits has a share alike; one that holds far more gives way only with what it holds
    // past its share, so that its last request within the share is served as anyone's.
    const auto [held, largest] = *m_holding.rbegin();
    const qint64 share = m_total / qint64(m_addresses.size());
    if (*largest == address || held <= 2 * share)
        return nullptr;
    Holder* first = m_addresses.at(*largest).byProgress.front();
    return held - m_holders.at(first).held >= share ? first : nullptr;
}

void MemoryBudget::grant(Holder* holder, Entry& entry, qint64 bytes)
{
    unrank(entry.address);
    Address& address = m_addresses[entry.address];
    unlist(entry);
    address.held += bytes;
    entry.held += bytes;
    m_used += bytes;
    // A claim granted starts its reading now, whenever its connection last read.
    entry.lastProgress = m_clock();
    if (!entry.pinned && entry.held > 0)
        list(holder, entry);
    rank(entry.address);
}

bool MemoryBudget::grantWaiting(Holder* claimant)
{
    bool claimantGranted = false;
    std::vector<Holder*> granted;
    while (!m_line.empty()) {
        const std::string address = *std::get<const std::string*>(*m_line.begin());
        Holder* next = m_addresses.at(address).waiting.front().second;
        Entry& entry = m_holders.at(next);
        makeRoom(address, entry.wanted);
        if (m_used + entry.wanted > m_total)
            break;
        unrank(address);
        m_addresses.at(address).waiting.pop_front();
        rank(address);
        grant(next, entry, std::exchange(entry.wanted, 0));
        if (next == claimant)
            claimantGranted = true;
        else
            granted.push_back(next);
    }
    for (Holder* holder : granted)
        if (m_holders.count(holder) > 0)
            holder->roomMade();
    return claimantGranted;
}

void MemoryBudget::wait(Holder* holder, Entry& entry, qint64 bytes)
{
    // A claim that waits has its reading paused by the budget, not by its client: it is not one that gives way.
    unrank(entry.address);
    unlist(entry);
    entry.wanted = bytes;
    m_addresses[entry.address].waiting.emplace_back(++m_waits, holder);
    rank(entry.address);
}

void MemoryBudget::drop(Holder* holder)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    Entry& entry = found->second;
    const std::string address = entry.address;
    unrank(address);
    Address& counted = m_addresses.at(address);
    unlist(entry);
    if (entry.wanted > 0)
        counted.waiting.erase(std::find_if(counted.waiting.begin(), counted.waiting.end(),
                                           [holder](const auto& waiting) { return waiting.second == holder; }));
    counted.held -= entry.held;
    m_used -= entry.held;
    m_holders.erase(found);
    rank(address);
}

void MemoryBudget::list(Holder* holder, Entry& entry)
{
    entry.inAll = m_byProgress.insert(m_byProgress.end(), holder);
    Order& inAddress = m_addresses.at(entry.address).byProgress;
    entry.inAddress = inAddress.insert(inAddress.end(), holder);
    entry.listed = true;
}

void MemoryBudget::unlist(Entry& entry)
{
    if (!entry.listed)
        return;
    m_byProgress.erase(entry.inAll);
    m_addresses.at(entry.address).byProgress.erase(entry.inAddress);
    entry.listed = false;
}

void MemoryBudget::unrank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    const Address& counted = found->second;
    m_holding.erase({counted.held, &found->first});
    if (!counted.waiting.empty())
        m_line.erase(placeInLine(found->first, counted));
}

MemoryBudget::Line::value_type MemoryBudget::placeInLine(const std::string& key, const Address& address) const
{
    const auto& [since, first] = address.waiting.front();
    return {address.held + m_holders.at(first).wanted, since, &key};
}

void MemoryBudget::rank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    const Address& counted = found->second;
    if (!counted.byProgress.empty())
        m_holding.insert({counted.held, &found->first});
    if (!counted.waiting.empty())
        m_line.insert(placeInLine(found->first, counted));
    // An address that holds and waits for nothing is forgotten.
    if (counted.held == 0 && counted.byProgress.empty() && counted.waiting.empty())
        m_addresses.erase(found);
}
