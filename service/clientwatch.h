#pragma once

#include <QtGlobal>

class HttpConnection;

// Watches a connection whose request is not being read (it waits for memory, its body's first bytes, its turn or a
// worker, or is worked on): a client that closes its end or resets the connection, even with bytes of it still
// unread, has its connection closed at once, and a large body's first bytes line it up for its turn. What a client
// sends after its whole request is read and dropped, up to the drain limit.
class ClientWatch
{
public:
    explicit ClientWatch(HttpConnection& connection);

    void watch();
    // Whether the client has closed its end or reset the connection, even with bytes of it still unread.
    bool hungUp() const;

private:
    // Closes the connection when its client has gone, and lines a large request up once its bytes have come; false
    // when it did either.
    bool clientStays();
    bool watched() const;

    HttpConnection& m_connection;
    bool m_watching = false;
    // What the client sent after its request while it waited, read and dropped.
    qint64 m_dropped = 0;
};
