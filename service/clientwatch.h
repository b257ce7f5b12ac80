#pragma once

#include <QtGlobal>

#include <boost/beast/core/tcp_stream.hpp>

class ConnectionSteps;

// Watches a connection whose request the service is not reading (it waits for memory, its body's first bytes, its
// turn or a worker, or is worked on): a client that closes its end or resets the connection, even with bytes of it
// still unread, is told to the connection at once, and so are a large body's first bytes. What a client sends after
// its whole request is read and dropped, up to the drop limit (TransferRules).
class ClientWatch
{
public:
    class Events
    {
    public:
        virtual void clientHungUp() = 0;
        // Bytes of the body came while the watch waited for them.
        virtual void bodyBytesCame() = 0;

    protected:
        ~Events() = default;
    };

    enum class Mode
    {
        Off,
        // The request's bytes stay unread while it waits.
        Unread,
        // As Unread, and the first bytes of the body are told.
        FirstBytes,
        // The whole request has been read: what comes after it is dropped.
        AfterRequest
    };

    ClientWatch(ConnectionSteps& steps, Events& events, boost::beast::tcp_stream& stream);

    void watch(Mode mode);
    void stop() { m_mode = Mode::Off; }

private:
    // Tells the connection when its client has gone, or a body's first bytes have come; false when it told either.
    bool clientStays();
    // Whether the client has closed its end or reset the connection, even with bytes of it still unread.
    bool hungUp() const;

    ConnectionSteps& m_steps;
    Events& m_events;
    boost::beast::tcp_stream& m_stream;
    Mode m_mode = Mode::Off;
    bool m_waiting = false;
    // What the client sent after its request while it waited, read and dropped.
    qint64 m_dropped = 0;
};
