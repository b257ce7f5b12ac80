#pragma once

#include <list>
#include <string>
#include <unordered_map>

class HttpConnection;

// The open connections, counted in all and per client address, and those still without a whole request in the order
// they came: when every place is taken, the one that has waited longest is the one to close. Used on the network
// thread only.
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
    // Counts a new connection from the address in, unless its address holds its cap or all places are taken.
    Admission admit(const std::string& peer);
    void leave(const std::string& peer);

    void startWaiting(HttpConnection* connection);
    void stopWaiting(HttpConnection* connection);
    // The connection that has waited longest for its whole request, if any.
    HttpConnection* longestWaiting() const;

private:
    int m_maxConnections;
    int m_perAddress;
    int m_open = 0;
    std::unordered_map<std::string, int> m_perPeer;
    std::list<HttpConnection*> m_waiting;
    std::unordered_map<HttpConnection*, std::list<HttpConnection*>::iterator> m_places;
};
