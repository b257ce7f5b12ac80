#pragma once

#include <QtGlobal>

#include <boost/asio/steady_timer.hpp>

class HttpConnection;

// A large request's turn: its body is read and worked on only while it holds one of the few the server gives at once
// (RequestTurns). It lines up once its first bytes come, so that a client that sends none holds none, waits in line
// for the line's time at most, and gives its turn up to one waiting when its body comes slower than the floor pace.
class LargeTurn
{
public:
    explicit LargeTurn(HttpConnection& connection);

    // Waits for the body's first bytes for the idle time, then lines up.
    void awaitBytes();
    // Lines up for a turn, or takes one that is free.
    void enterLine();
    // A turn has come: the body is read.
    void takeTurn();
    bool holds() const { return m_holds; }
    // Watches the pace of the body read in the turn.
    void watchPace();
    // Leaves the line, and gives back a turn held.
    void release();

private:
    void paceWatched(qint64 left);

    HttpConnection& m_connection;
    bool m_holds = false;
    // The wait for the first bytes, then for the turn, then the watch over the pace.
    boost::asio::steady_timer m_timer;
};
