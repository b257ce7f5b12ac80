#pragma once

#include "transferrules.h"

#include <QtGlobal>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

// Memory for what clients send, within a total shared among client addresses. A connection claims a head's room as
// its bytes come and a body's whole room, by its declared length, before a byte of it is read; it gives all of it back
// when its request is answered or it goes. A claim that finds no room, or finds claims waiting before it, waits in a
// line, its connection's reading paused, where the address that will hold the least once its claim is granted goes
// first (of those alike, the one that waits longest): an owner's small request is not behind a crowd's large ones, and
// a claim that fits never goes before one that waits ahead of it.
// Small requests (heads, and bodies up to the line between cheap and expensive uploads) keep a reserve of their own,
// as cheap requests keep workers of their own: large ones together never hold more than the total less the reserve,
// and a small claim is granted in the reserve's room while large claims wait before it, the small ones in the line's
// order. Large requests that keep pace may thus hold all they may for as long as they take, and a household's login
// or small sync is still read at once; while no small request needs the reserve, large ones have all but it.
// While a claim waits, room is made only of holders that give way, each answered busy, and only of those whose room the
// claim could take: small ones for the reserve, large ones while large ones hold all they may. One the service reads
// gives way when it falls behind: it has read nothing for the stall time, or less than a real client's pace since it
// began to read, after a short grace; the one that fell behind first goes first. One the service does not read (paused
// in line for its turn, worked on, or waiting for room itself) is never behind, whatever its client sends. Of the
// holders paused in line, one of an address that holds more than twice its share of the total gives way too, as long
// as that address keeps its share. An honest crowd is thus served, as many at once as fit, the rest in turn as room
// comes back. Used on the network thread only.
class MemoryBudget
{
public:
    using Clock = std::chrono::steady_clock;

    class Holder
    {
    public:
        // The budget has taken back all the holder held, for another's claim: its request is to be answered busy, and
        // is never read into that memory again.
        virtual void evict() = 0;
        // A claim that waited has its room.
        virtual void roomMade() = 0;

    protected:
        ~Holder() = default;
    };

    // A holder that has read nothing for this long makes no progress, and gives way to a claim that waits.
    static constexpr std::chrono::seconds stallTime{5};

    // A holder whose room is larger is a large one: a body over the line between small and large ones.
    static constexpr qint64 smallRoom = TransferRules::smallBody;

    // `reserve` of the total is kept for small holders, all of it at most: with more than the total less the largest
    // body read into memory, such a body never finds room.
    MemoryBudget(qint64 total, qint64 reserve, std::function<Clock::time_point()> clock = Clock::now);

    // Claims that many more bytes for the holder, all it holds counted under the address (the latest given). True
    // when the room is the holder's now; false when the claim waits, until roomMade().
    bool claim(Holder* holder, const std::string& address, qint64 bytes);
    // Counts all the holder holds and waits for under the address from now on, as a proxy's connection does once its
    // head names the client. Serves no claim itself: the next claim, release or serveWaiting() does.
    void readdress(Holder* holder, const std::string& address);
    // The holder has read that many more bytes into its room (none given: it only shows it is not silent).
    void progressed(Holder* holder, qint64 bytes = 0);
    // The service stops reading the holder (it waits in line for its turn): it is not behind while paused.
    void pause(Holder* holder);
    // The service reads the holder again; its pace is judged from now.
    void resume(Holder* holder);
    // What the holder holds is worked on: it is no longer taken for another's claim.
    void pin(Holder* holder);
    // Gives back all the holder holds, and drops a claim it waits with.
    void release(Holder* holder);
    // Makes room for the waiting claims of holders that give way by now, and grants those that fit, in the line's
    // order. The time at which a holder will next fall behind while claims still wait, if any will.
    std::optional<Clock::time_point> serveWaiting();

    qint64 total() const { return m_total; }
    qint64 used() const { return m_used; }
    qint64 heldBy(const std::string& address) const;

private:
    // A holder's size, by all it holds and waits for; the index of its lists.
    enum Size
    {
        Small,
        Large
    };
    // Where a holder is listed as one that may give way.
    enum class Place
    {
        Nowhere,
        Reading,
        Paused
    };
    // Readers of a size by when each falls behind, then by when each came.
    using Readers = std::set<std::tuple<Clock::time_point, quint64, Holder*>>;
    // Holders by when they paused or began to wait.
    using ByTime = std::set<std::pair<quint64, Holder*>>;
    struct Address
    {
        qint64 held = 0;
        // Its paused holders, and its claims that wait, small and large.
        ByTime paused;
        std::array<ByTime, 2> waiting;
    };
    struct Entry
    {
        std::string address;
        quint64 came = 0;
        qint64 held = 0;
        // The bytes of a claim that waits, and its place among its address's.
        qint64 wanted = 0;
        quint64 waitingSince = 0;
        bool pinned = false;
        bool paused = false;
        quint64 pausedSince = 0;
        // Since when its reading is judged, what it has read since, and when it last read.
        Clock::time_point paceFrom;
        qint64 read = 0;
        Clock::time_point lastProgress;
        Place place = Place::Nowhere;
        Readers::iterator inReaders;
    };
    // Addresses with paused holders by what they hold, and those that wait by what they will hold once their first
    // claim of a size is granted, then by when it began to wait: a line of each size, served as one.
    using Ranking = std::set<std::pair<qint64, const std::string*>>;
    using Line = std::set<std::tuple<qint64, quint64, const std::string*>>;

    static Size sizeOf(qint64 bytes) { return bytes > smallRoom ? Large : Small; }
    static Size sizeOf(const Entry& entry) { return sizeOf(entry.held + entry.wanted); }
    // What a holder adds to what large holders hold: all it holds once it is large; and what holding `bytes` more adds.
    static qint64 largeShare(qint64 held);
    static qint64 largeGrowth(qint64 held, qint64 bytes);
    bool nobodyWaits() const { return m_lines[Small].empty() && m_lines[Large].empty(); }
    // Whether `bytes` more for the holder fit: in the whole memory, a large holder's within all but the reserve; or,
    // for a small one, in the reserve's room alone.
    bool fits(const Entry& entry, qint64 bytes, bool inReserve = false) const;
    // Whether large holders hold all the total less the reserve at most with `bytes` more for the holder.
    bool largeFits(const Entry& entry, qint64 bytes) const;
    // The claim to grant next, room made for it, if one fits: the first in line; or, when that one is large, the first
    // small one, in the reserve's room.
    Holder* nextToGrant();
    // The first waiting claim of the line of that size.
    Holder* firstOf(Size size) const;
    // Evicts holders that give way, of those whose room the waiting claim could take, until it fits or none is left;
    // whether it fits.
    bool makeRoom(Holder* claimant, bool inReserve);
    // The holder to evict for a claim of the address, if any gives way: of that size only, when one is given.
    Holder* victim(const std::string& address, std::optional<Size> only) const;
    Holder* pastItsShare(const std::string& address) const;
    // A holder that was read and goes on being read keeps the pace it is judged by, so that claiming more as it reads
    // buys it no time; any other (new, or one whose claim waited) begins to read now.
    void grant(Holder* holder, Entry& entry, qint64 bytes, bool reading);
    // Grants waiting claims in the line's order while room is made for them; tells every holder granted but the
    // claimant, which is told by the claim's result, and is read on if it was read before it claimed. Whether the
    // claimant was granted.
    bool grantWaiting(Holder* claimant, bool claimantReads);
    void wait(Holder* holder, Entry& entry, qint64 bytes);
    // Forgets the holder, giving back what it held.
    void drop(Holder* holder);
    void startPace(Entry& entry);
    Clock::time_point fallsBehind(const Entry& entry) const;
    // Runs the change with the holder's address out of the rankings and the holder out of its lists, then puts them
    // back as the change leaves them.
    template <typename Change> void update(Holder* holder, Entry& entry, Change change);
    // The same for a holder the budget knows of, the change given its entry; nothing for one it does not.
    template <typename Change> void update(Holder* holder, Change change);
    void place(Holder* holder, Entry& entry);
    void unplace(Holder* holder, Entry& entry);
    void unwait(Holder* holder, Entry& entry);
    // Takes the address out of the rankings before it changes, and puts it back after.
    void unrank(const std::string& address);
    void rank(const std::string& address);
    Line::value_type placeInLine(const std::string& key, const Address& address, Size size) const;

    qint64 m_total;
    qint64 m_reserve;
    std::function<Clock::time_point()> m_clock;
    qint64 m_used = 0;
    // What large holders hold, within the total less the reserve.
    qint64 m_largeHeld = 0;
    quint64 m_sequence = 0;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_map<Holder*, Entry> m_holders;
    std::array<Readers, 2> m_readers;
    Ranking m_paused;
    std::array<Line, 2> m_lines;
    // While room is made, what evicted holders give back is the claim's, not handed out on their release.
    bool m_makingRoom = false;
};
