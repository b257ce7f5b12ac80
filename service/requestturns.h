#pragma once

#include <list>
#include <unordered_map>

class HttpConnection;

// Large requests are read and worked on a few at a time, so that their memory stays bounded however many arrive: the
// others wait in line, their bodies unread, in the order they came. A connection leaves the line the moment it closes,
// and nothing of it stays behind. Used on the network thread only.
class RequestTurns
{
public:
    explicit RequestTurns(int atOnce);

    // Gives the connection its turn now when one is free, else when one comes free while it waits.
    void await(HttpConnection* connection);
    // The connection no longer waits for a turn.
    void leave(HttpConnection* connection);
    // A turn given before has ended.
    void release();
    bool anyWaiting() const { return !m_line.empty(); }

private:
    int m_free;
    std::list<HttpConnection*> m_line;
    std::unordered_map<HttpConnection*, std::list<HttpConnection*>::iterator> m_places;
};
