#include "memorybudget.h"

#include "transferrules.h"

#include <algorithm>
#include <vector>

namespace {
// A reader below the real pace over all its reading is behind. A body at 100 KB/s stays ahead; a byte every few seconds
// falls behind once its grace is over.
const double pace = TransferRules::realPace;
// What a reader has before its pace is judged: a round trip or two, and a slow start, on a poor line take well under
// a second; and no waiting claim, the owner's among them, waits longer than this for a trickle to give way.
const std::chrono::seconds grace{2};
} // namespace

MemoryBudget::MemoryBudget(qint64 total, qint64 reserve, std::function<Clock::time_point()> clock)
    : m_total(total), m_reserve(std::min(reserve, total)), m_clock(std::move(clock))
{
}

template <typename Change> void MemoryBudget::update(Holder* holder, Change change)
{
    const auto found = m_holders.find(holder);
    if (found != m_holders.end()) {
        Entry& entry = found->second;
        update(holder, entry, [&change, &entry] { change(entry); });
    }
}

template <typename Change> void MemoryBudget::update(Holder* holder, Entry& entry, Change change)
{
    const std::string address = entry.address;
    unrank(address);
    unplace(holder, entry);
    change();
    place(holder, entry);
    rank(address);
}

bool MemoryBudget::claim(Holder* holder, const std::string& address, qint64 bytes)
{
    if (bytes <= 0)
        return true;
    auto found = m_holders.find(holder);
    if (found == m_holders.end()) {
        found = m_holders.emplace(holder, Entry()).first;
        found->second.address = address;
        found->second.came = ++m_sequence;
    } else {
        readdress(holder, address);
    }
    Entry& entry = found->second;
    const bool reading = entry.place == Place::Reading;
    // While claims wait, a new one takes its place among them, however little it asks.
    if (nobodyWaits() && fits(entry, bytes)) {
        grant(holder, entry, bytes, reading);
        return true;
    }
    wait(holder, entry, bytes);
    return grantWaiting(holder, reading);
}

void MemoryBudget::readdress(Holder* holder, const std::string& address)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end() || found->second.address == address)
        return;
    Entry& entry = found->second;
    const std::string from = entry.address;
    unrank(from);
    unrank(address);
    unplace(holder, entry);
    Address& left = m_addresses.at(from);
    Address& joined = m_addresses[address];
    left.held -= entry.held;
    joined.held += entry.held;
    if (entry.wanted > 0) {
        left.waiting[sizeOf(entry)].erase({entry.waitingSince, holder});
        joined.waiting[sizeOf(entry)].emplace(entry.waitingSince, holder);
    }
    entry.address = address;
    place(holder, entry);
    rank(from);
    rank(address);
}

void MemoryBudget::progressed(Holder* holder, qint64 bytes)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    Entry& entry = found->second;
    // Neither what it holds nor whether it is listed changes: its address keeps its ranks.
    unplace(holder, entry);
    entry.read += bytes;
    entry.lastProgress = m_clock();
    place(holder, entry);
}

void MemoryBudget::pause(Holder* holder)
{
    update(holder, [this](Entry& entry) {
        entry.paused = true;
        entry.pausedSince = ++m_sequence;
    });
}

void MemoryBudget::resume(Holder* holder)
{
    update(holder, [this](Entry& entry) {
        entry.paused = false;
        startPace(entry);
    });
}

void MemoryBudget::pin(Holder* holder)
{
    update(holder, [](Entry& entry) { entry.pinned = true; });
}

void MemoryBudget::release(Holder* holder)
{
    drop(holder);
    if (!m_makingRoom)
        grantWaiting(nullptr, false);
}

std::optional<MemoryBudget::Clock::time_point> MemoryBudget::serveWaiting()
{
    if (!m_makingRoom)
        grantWaiting(nullptr, false);
    if (nobodyWaits())
        return std::nullopt;
    // The next reader to fall behind: one behind by now keeps its room, which no claim that waits could take.
    std::optional<Clock::time_point> next;
    const Readers::key_type later{m_clock() + Clock::duration(1), 0, nullptr};
    for (const Readers& readers : m_readers)
        if (const auto found = readers.lower_bound(later); found != readers.end())
            next = std::min(next.value_or(Clock::time_point::max()), std::get<Clock::time_point>(*found));
    return next;
}

qint64 MemoryBudget::heldBy(const std::string& address) const
{
    const auto found = m_addresses.find(address);
    return found == m_addresses.end() ? 0 : found->second.held;
}

qint64 MemoryBudget::largeShare(qint64 held)
{
    return sizeOf(held) == Large ? held : 0;
}

qint64 MemoryBudget::largeGrowth(qint64 held, qint64 bytes)
{
    return largeShare(held + bytes) - largeShare(held);
}

bool MemoryBudget::fits(const Entry& entry, qint64 bytes, bool inReserve) const
{
    if (inReserve)
        return m_used - m_largeHeld + bytes <= m_reserve;
    return m_used + bytes <= m_total && largeFits(entry, bytes);
}

bool MemoryBudget::largeFits(const Entry& entry, qint64 bytes) const
{
    return m_largeHeld + largeGrowth(entry.held, bytes) <= m_total - m_reserve;
}

MemoryBudget::Holder* MemoryBudget::nextToGrant()
{
    if (nobodyWaits())
        return nullptr;
    const bool largeFirst =
        m_lines[Small].empty() || (!m_lines[Large].empty() && *m_lines[Large].begin() < *m_lines[Small].begin());
    Holder* first = firstOf(largeFirst ? Large : Small);
    if (makeRoom(first, false))
        return first;
    // The first in line that does not fit stops the line: what comes back is kept for it. Only a small claim goes
    // before a large one, in the reserve's room, which the large one could never take.
    if (!largeFirst || m_lines[Small].empty())
        return nullptr;
    Holder* small = firstOf(Small);
    return makeRoom(small, true) ? small : nullptr;
}

MemoryBudget::Holder* MemoryBudget::firstOf(Size size) const
{
    const std::string& address = *std::get<const std::string*>(*m_lines[size].begin());
    return m_addresses.at(address).waiting[size].begin()->second;
}

bool MemoryBudget::makeRoom(Holder* claimant, bool inReserve)
{
    const Entry& entry = m_holders.at(claimant);
    const bool making = std::exchange(m_makingRoom, true);
    while (!fits(entry, entry.wanted, inReserve)) {
        // Only a holder whose room the claim could take gives way: a small one for the reserve's room, and a large one
        // while large holders hold all they may.
        std::optional<Size> only;
        if (inReserve)
            only = Small;
        else if (!largeFits(entry, entry.wanted))
            only = Large;
        Holder* evicted = victim(entry.address, only);
        if (evicted == nullptr)
            break;
        drop(evicted);
        evicted->evict();
    }
    m_makingRoom = making;
    return fits(entry, entry.wanted, inReserve);
}

MemoryBudget::Holder* MemoryBudget::victim(const std::string& address, std::optional<Size> only) const
{
    const Readers::value_type* first = nullptr;
    for (const Size size : {Small, Large})
        if (const Readers& readers = m_readers[size]; (!only || *only == size) && !readers.empty())
            if (first == nullptr || *readers.begin() < *first)
                first = &*readers.begin();
    if (first != nullptr && std::get<Clock::time_point>(*first) <= m_clock())
        return std::get<Holder*>(*first);
    Holder* past = pastItsShare(address);
    return past != nullptr && (!only || sizeOf(m_holders.at(past)) == *only) ? past : nullptr;
}

MemoryBudget::Holder* MemoryBudget::pastItsShare(const std::string& address) const
{
    if (m_paused.empty())
        return nullptr;
    // Every address that holds or waits has a share alike; one that holds far more gives way only with what it holds
    // past its share, so that its last request within the share is served as anyone's. Only a paused holder is taken:
    // one that is read loses no byte it has sent. The one that paused last, which has waited least, goes first.
    const auto [held, largest] = *m_paused.rbegin();
    const qint64 share = m_total / qint64(m_addresses.size());
    if (*largest == address || held <= 2 * share)
        return nullptr;
    Holder* last = m_addresses.at(*largest).paused.rbegin()->second;
    return held - m_holders.at(last).held >= share ? last : nullptr;
}

void MemoryBudget::grant(Holder* holder, Entry& entry, qint64 bytes, bool reading)
{
    update(holder, entry, [&] {
        unwait(holder, entry);
        m_addresses[entry.address].held += bytes;
        m_largeHeld += largeGrowth(entry.held, bytes);
        entry.held += bytes;
        m_used += bytes;
        if (!reading)
            startPace(entry);
    });
}

bool MemoryBudget::grantWaiting(Holder* claimant, bool claimantReads)
{
    bool claimantGranted = false;
    std::vector<Holder*> granted;
    while (Holder* next = nextToGrant()) {
        Entry& entry = m_holders.at(next);
        // One that waited was not read meanwhile; the claimant served at once was.
        grant(next, entry, entry.wanted, next == claimant && claimantReads);
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
    update(holder, entry, [&] {
        // A claim made while one waits adds to it, in its place, among those of the size it makes.
        auto& waiting = m_addresses[entry.address].waiting;
        if (entry.wanted == 0)
            entry.waitingSince = ++m_sequence;
        else
            waiting[sizeOf(entry)].erase({entry.waitingSince, holder});
        entry.wanted += bytes;
        waiting[sizeOf(entry)].emplace(entry.waitingSince, holder);
    });
}

void MemoryBudget::drop(Holder* holder)
{
    const auto found = m_holders.find(holder);
    if (found == m_holders.end())
        return;
    Entry& entry = found->second;
    update(holder, entry, [&] {
        unwait(holder, entry);
        m_addresses.at(entry.address).held -= entry.held;
        m_largeHeld -= largeShare(entry.held);
        m_used -= std::exchange(entry.held, 0);
    });
    m_holders.erase(found);
}

void MemoryBudget::startPace(Entry& entry)
{
    entry.paceFrom = entry.lastProgress = m_clock();
    entry.read = 0;
}

MemoryBudget::Clock::time_point MemoryBudget::fallsBehind(const Entry& entry) const
{
    const auto earned = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(entry.read / pace));
    return std::min(entry.lastProgress + stallTime, entry.paceFrom + grace + earned);
}

void MemoryBudget::place(Holder* holder, Entry& entry)
{
    // A holder whose claim waits, or that is worked on, is never behind, and never taken.
    if (entry.held == 0 || entry.pinned || entry.wanted > 0)
        return;
    if (entry.paused) {
        m_addresses.at(entry.address).paused.emplace(entry.pausedSince, holder);
        entry.place = Place::Paused;
    } else {
        entry.inReaders = m_readers[sizeOf(entry)].emplace(fallsBehind(entry), entry.came, holder).first;
        entry.place = Place::Reading;
    }
}

void MemoryBudget::unplace(Holder* holder, Entry& entry)
{
    if (entry.place == Place::Reading)
        m_readers[sizeOf(entry)].erase(entry.inReaders);
    else if (entry.place == Place::Paused)
        m_addresses.at(entry.address).paused.erase({entry.pausedSince, holder});
    entry.place = Place::Nowhere;
}

void MemoryBudget::unwait(Holder* holder, Entry& entry)
{
    if (entry.wanted > 0)
        m_addresses.at(entry.address).waiting[sizeOf(entry)].erase({entry.waitingSince, holder});
    entry.wanted = 0;
}

void MemoryBudget::unrank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    const Address& counted = found->second;
    m_paused.erase({counted.held, &found->first});
    for (const Size size : {Small, Large})
        if (!counted.waiting[size].empty())
            m_lines[size].erase(placeInLine(found->first, counted, size));
}

MemoryBudget::Line::value_type MemoryBudget::placeInLine(const std::string& key, const Address& address,
                                                         Size size) const
{
    const auto& [since, first] = *address.waiting[size].begin();
    return {address.held + m_holders.at(first).wanted, since, &key};
}

void MemoryBudget::rank(const std::string& address)
{
    const auto found = m_addresses.find(address);
    if (found == m_addresses.end())
        return;
    const Address& counted = found->second;
    if (!counted.paused.empty())
        m_paused.insert({counted.held, &found->first});
    for (const Size size : {Small, Large})
        if (!counted.waiting[size].empty())
            m_lines[size].insert(placeInLine(found->first, counted, size));
    // An address that holds and waits for nothing is forgotten.
    if (counted.held == 0 && counted.paused.empty() && counted.waiting[Small].empty() && counted.waiting[Large].empty())
        m_addresses.erase(found);
}
