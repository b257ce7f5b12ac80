#pragma once

#include <QtGlobal>

#include <chrono>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

// Memory for what clients send, within a total shared among client addresses. A connection claims a head's room as
// its bytes come and a body's whole room, by its declared length, before a byte of it is read; it gives all of it back
// when its request is answered or it goes. A claim that finds no room waits in a line, its connection's reading
// paused, where the address that will hold the least once its claim is granted goes first (of those alike, the one
// that waits longest): an owner's small request is not behind a crowd's large ones. Room is
// made only of connections that give way: one that has read nothing for the stall time (the one whose last byte is
// oldest first, so that a client that holds a body one byte short goes before any that sends), or one of an address
// that holds more than twice its share of the total, while that address keeps its share. A request that has its room
// and makes progress is never taken from, so a crowd of honest requests is served, as many at once as fit, the rest
// in turn as room comes back. Memory whose request is being worked on is counted but never taken. Used on the network
// thread only.
class MemoryBudget
{
public:
    using Clock = std::chrono::steady_clock;

    class Holder
    {
    public:
        // The budget has taken back all the holder held, for another's claim: it must let go of that memory now.
        virtual void evict() = 0;
        // A claim that waited has its room.
        virtual void roomMade() = 0;

    protected:
        ~Holder() = default;
    };

    // A holder that has read nothing for this long makes no progress, and gives way to a claim that waits.
    static constexpr std::chrono::seconds stallTime{5};

    explicit MemoryBudget(qint64 total, std::function<Clock::time_point()> clock = Clock::now);

    // Claims that many more bytes for the holder, all it holds counted under the address (the latest given). True
    // when the room is the holder's now; false when the claim waits, until roomMade().
    bool claim(Holder* holder, const std::string& address, qint64 bytes);
    // The holder has read a byte.
    void progressed(Holder* holder);
    // What the holder holds is worked on: it is no longer taken for another's claim.
    void pin(Holder* holder);
    // Gives back all the holder holds, and drops a claim it waits with.
    void release(Holder* holder);
    // Makes room for the waiting claims of holders that give way by now, and grants those that fit. The time at which
    // a holder will next come to give way while claims still wait, if any will.
    std::optional<Clock::time_point> serveWaiting();

    qint64 total() const { return m_total; }
    qint64 used() const { return m_used; }
    qint64 heldBy(const std::string& address) const;

private:
    using Order = std::list<Holder*>;
    struct Address
    {
        qint64 held = 0;
        // Its holders that may give way, the one whose last byte is oldest first.
        Order byProgress;
        // Its claims that wait, by when they began to.
        std::deque<std::pair<quint64, Holder*>> waiting;
    };
    struct Entry
    {
        std::string address;
        qint64 held = 0;
        // The bytes of a claim that waits.
        qint64 wanted = 0;
        Clock::time_point lastProgress;
        bool pinned = false;
        // Whether it is in the orders by progress, in all and in its address.
        bool listed = false;
        Order::iterator inAll;
        Order::iterator inAddress;
    };
    // Addresses by what they hold, and those that wait by what they will hold once their first claim is granted, then
    // by when it began to wait.
    using Ranking = std::set<std::pair<qint64, const std::string*>>;
    using Line = std::set<std::tuple<qint64, quint64, const std::string*>>;

    // Evicts holders that give way until the claim fits or none is left.
    void makeRoom(const std::string& address, qint64 bytes);
    // The holder to evict for a claim of the address, if any gives way.
    Holder* victim(const std::string& address) const;
    void grant(Holder* holder, Entry& entry, qint64 bytes);
    // Grants waiting claims while room is made for them, the address holding least first; tells every holder granted
    // but the claimant, which is told by the claim's result. Whether the claimant was granted.
    bool grantWaiting(Holder* claimant);
    void wait(Holder* holder, Entry& entry, qint64 bytes);
    // Forgets the holder, giving back what it held.
    void drop(Holder* holder);
    void list(Holder* holder, Entry& entry);
    void unlist(Entry& entry);
    // Takes the address out of the rankings before it changes, and puts it back after.
    void unrank(const std::string& address);
    void rank(const std::string& address);
    Line::value_type placeInLine(const std::string& key, const Address& address) const;

    qint64 m_total;
    std::function<Clock::time_point()> m_clock;
    qint64 m_used = 0;
    quint64 m_waits = 0;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_map<Holder*, Entry> m_holders;
    // Every holder that may give way, the one whose last byte is oldest first.
    Order m_byProgress;
    // Addresses with holders that may give way, and those with claims that wait.
    Ranking m_holding;
    Line m_line;
    // While room is made, what evicted holders give back is the claim's, not handed out on their release.
    bool m_makingRoom = false;
};
