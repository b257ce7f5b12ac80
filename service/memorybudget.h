#pragma once

#include <QtGlobal>

#include <deque>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

// Memory for what clients send, within a total shared among client addresses. A connection claims room before it
// reads into it, a piece at a time as its bytes come, and gives all of it back when its request is answered or it
// goes. When the total is taken, a claim takes room from the address that holds the most, provided that one holds
// more than twice what the claimant's address will after the claim: of that address's connections, the one that holds
// the least of those that free enough (of those alike, the one whose last claim is oldest) lets go of everything, its
// connection closed. A crowd of addresses that each hold a request unfinished is thus held to shares within a factor
// of two of one another, and an address that holds little, as an owner's small request does, finds room at once. The
// address that gives way loses little more than the room needed, in as few connections as will do, so that it has no
// cause to take room from the next in turn. A claim that finds none waits, its connection's reading paused, until room
// comes back; the address that holds the least goes first. Memory whose request is being worked on is counted but never
// taken. Used on the network thread only.
class MemoryBudget
{
public:
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

    explicit MemoryBudget(qint64 total);

    // Claims that many more bytes for the holder, all it holds counted under the address (the latest given). True
    // when the room is the holder's now; false when the claim waits, until roomMade().
    bool claim(Holder* holder, const std::string& address, qint64 bytes);
    // What the holder holds is worked on: it is no longer taken for another's claim.
    void pin(Holder* holder);
    // Gives back all the holder holds, and drops a claim it waits with.
    void release(Holder* holder);

    qint64 total() const { return m_total; }
    qint64 used() const { return m_used; }
    qint64 heldBy(const std::string& address) const;

private:
    // A holder that may be evicted: what it holds, when it last claimed.
    using Evictable = std::tuple<qint64, quint64, Holder*>;
    struct Address
    {
        qint64 held = 0;
        // The holder that holds the least first, of those alike the one whose last claim is oldest.
        std::set<Evictable> evictable;
        std::deque<Holder*> waiting;
    };
    struct Entry
    {
        std::string address;
        qint64 held = 0;
        // The bytes of a claim that waits.
        qint64 wanted = 0;
        quint64 lastClaim = 0;
        bool pinned = false;
        bool listed = false;
    };
    // Addresses by what they hold.
    using Ranking = std::set<std::pair<qint64, const std::string*>>;

    // Evicts holders of the addresses that hold the most until the claim fits, as long as they hold more than the
    // claimant's address would.
    void makeRoom(const std::string& address, qint64 bytes);
    void grant(Holder* holder, Entry& entry, qint64 bytes);
    // Grants waiting claims while they fit, the address holding least first.
    void grantWaiting();
    // Forgets the holder, giving back what it held.
    void drop(Holder* holder);
    void unlist(Holder* holder, Entry& entry);
    // Takes the address out of the rankings before it changes, and puts it back after.
    void unrank(const std::string& address);
    void rank(const std::string& address);

    qint64 m_total;
    qint64 m_used = 0;
    quint64 m_claims = 0;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_map<Holder*, Entry> m_holders;
    // Addresses with holders that may be evicted, and those with claims that wait.
    Ranking m_evictable;
    Ranking m_waiting;
    // While a claim makes room, what evicted holders give back is the claim's, not the waiting ones'.
    bool m_makingRoom = false;
};
