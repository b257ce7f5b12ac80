#pragma once

#include <deque>
#include <memory>

class HttpConnection;

// Large requests are read and worked on a few at a time, so that their memory stays bounded however many arrive: the
// others wait in line, their bodies unread, in the order they came. Used on the network thread only.
class RequestTurns
{
public:
    explicit RequestTurns(int atOnce);

    // Gives the connection its turn now when one is free, else when one comes free and the connection still waits.
    void await(const std::shared_ptr<HttpConnection>& connection);
    // A turn given before has ended.
    void release();

private:
    bool give(const std::shared_ptr<HttpConnection>& connection);

    int m_free;
    std::deque<std::weak_ptr<HttpConnection>> m_line;
};
