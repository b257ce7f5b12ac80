#include "memorybudget.h"

#include <algorithm>

MemoryBudget::MemoryBudget(qint64 total) : m_total(total) {}

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
        unlist(holder, entry);
        m_addresses.at(from).held -= entry.held;
        rank(from);
        entry.address = address;
        const qint64 held = std::exchange(entry.held, 0);
        m_used -= held;
        grant(holder, entry, held);
    }
    Entry& entry = found->second;
    if (m_used + bytes > m_total)
        makeRoom(address, bytes);
    if (m_used + bytes <= m_total) {
        grant(holder, entry, bytes);
        // Evicted holders may have given back more than the claim took.
        grantWaiting();
        return true;
    }
    unrank(address);
    entry.wanted = bytes;
    m_addresses[address].waiting.push_back(holder);
    rank(address);
    return false;
}

void MemoryBudget::pin(Holder* holder)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    unrank(found->second.address);
    unlist(holder, found->second);
    found->second.pinned = true;
    rank(found->second.address);
}

void MemoryBudget::release(Holder* holder)
{
    drop(holder);
    if (!m_makingRoom)
        grantWaiting();
}

qint64 MemoryBudget::heldBy(const std::string& address) const
{
    const auto found = m_addresses.find(address);
    return found == m_addresses.end() ? 0 : found->second.held;
}

void MemoryBudget::makeRoom(const std::string& address, qint64 bytes)
{
    const qint64 claimantAfter = heldBy(address) + bytes;
    m_makingRoom = true;
    while (m_used + bytes > m_total && !m_evictable.empty()) {
        const auto [held, largest] = *m_evictable.rbegin();
        // Taking from an address that holds no more than twice what the claimant's will would only move the shortage
        // around: the address that lost a connection would at once take from the next, and so on.
        if (held <= 2 * claimantAfter)
            break;
        // The holder that frees enough while holding the least, or else the one that frees the most.
        const std::set<Evictable>& holders = m_addresses.at(*largest).evictable;
        const auto fitting = holders.lower_bound({m_used + bytes - m_total, 0, nullptr});
        Holder* victim = std::get<Holder*>(fitting != holders.end() ? *fitting : *holders.rbegin());
        drop(victim);
        victim->evict();
    }
    m_makingRoom = false;
}

void MemoryBudget::grant(Holder* holder, Entry& entry, qint64 bytes)
{
    unrank(entry.address);
    Address& address = m_addresses[entry.address];
    unlist(holder, entry);
    address.held += bytes;
    entry.held += bytes;
    entry.lastClaim = ++m_claims;
    m_used += bytes;
    if (!entry.pinned && entry.held > 0) {
        address.evictable.insert({entry.held, entry.lastClaim, holder});
        entry.listed = true;
    }
    rank(entry.address);
}

void MemoryBudget::grantWaiting()
{
    std::vector<Holder*> granted;
    while (!m_waiting.empty()) {
        const std::string address = *m_waiting.begin()->second;
        Address& least = m_addresses.at(address);
        Holder* next = least.waiting.front();
        Entry& entry = m_holders.at(next);
        if (m_used + entry.wanted > m_total)
            break;
        unrank(address);
        least.waiting.pop_front();
        rank(address);
        grant(next, entry, std::exchange(entry.wanted, 0));
        granted.push_back(next);
    }
    for (Holder* holder : granted)
        if (m_holders.count(holder) > 0)
            holder->roomMade();
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
    unlist(holder, entry);
    if (entry.wanted > 0)
        counted.waiting.erase(std::find(counted.waiting.begin(), counted.waiting.end(), holder));
    counted.held -= entry.held;
    m_used -= entry.held;
    m_holders.erase(found);
    rank(address);
}

void MemoryBudget::unlist(Holder* holder, Entry& entry)
{
    if (entry.listed)
        m_addresses.at(entry.address).evictable.erase({entry.held, entry.lastClaim, holder});
    entry.listed = false;
}

void MemoryBudget::unrank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    m_evictable.erase({found->second.held, &found->first});
    m_waiting.erase({found->second.held, &found->first});
}

void MemoryBudget::rank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    const Address& counted = found->second;
    if (!counted.evictable.empty())
        m_evictable.insert({counted.held, &found->first});
    if (!counted.waiting.empty())
        m_waiting.insert({counted.held, &found->first});
    // An address that holds and waits for nothing is forgotten.
    if (counted.held == 0 && counted.evictable.empty() && counted.waiting.empty())
        m_addresses.erase(found);
}
