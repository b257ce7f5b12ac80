#pragma once

#include <list>
#include <string>
#include <unordered_map>

class HttpConnection;

// The open connections, counted in all and per client address. A direct connection counts under its peer's address
// from its accept on; one through a trusted proxy under the client its head names, once the head is read. The
// connections the service reads or writes are kept in the order they last made progress (a byte of their request
// read, a byte of their answer taken): when every place is taken, the one that has gone longest without progress is
// the one to close. One the service does not read meanwhile (its request waits for memory, its turn or a worker, or is
// worked on) is silent by the service's doing, not its client's, and is never closed for want of places. Used on the
// network thread only.
class ConnectionTable
{
public:
    ConnectionTable(int maxConnections, int perAddress);

    enum class Admission
    {
        Admitted,
        AddressFull,
        Full
    };
    // Counts a new connection in, under the address unless it is empty, unless the address holds its cap or all
    // places are taken. It starts as having just made progress.
    Admission admit(HttpConnection* connection, const std::string& address);
    // Counts a connection admitted without an address under the client's; false when that address holds its cap.
    bool claim(HttpConnection* connection, const std::string& address);
    void leave(HttpConnection* connection);

    // The connection moved on: it becomes the last to be closed for want of places.
    void progressed(HttpConnection* connection);
    // The service no longer reads or writes the connection: it is not closed for want of places until it progresses
    // again.
    void unread(HttpConnection* connection);
    // The connection the service reads or writes that has gone longest without progress, if any.
    HttpConnection* leastProgressed() const;
    bool empty() const { return m_entries.empty(); }
    // One of the connections, if any.
    HttpConnection* any() const { return m_entries.empty() ? nullptr : m_entries.begin()->first; }

private:
    struct Entry
    {
        std::string address;
        bool inOrder = false;
        std::list<HttpConnection*>::iterator place;
    };

    bool addressFull(const std::string& address) const;
    void leaveOrder(Entry& entry);

    int m_maxConnections;
    int m_perAddress;
    std::unordered_map<std::string, int> m_perPeer;
    std::unordered_map<HttpConnection*, Entry> m_entries;
    // Least recent progress first.
    std::list<HttpConnection*> m_order;
};
