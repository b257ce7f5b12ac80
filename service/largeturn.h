#pragma once

#include "lazytimer.h"

#include <QtGlobal>

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
    // A turn free when it lined up is its: the body is read now.
    void takeTurn();
    // The turn another request gave back is its: the body is read in a step of its own, so that whatever reading it
    // meets is this connection's alone, never the one that gave the turn back.
    void handOver() noexcept;
    bool holds() const { return m_holds; }
    // Watches the pace of the body read in the turn.
    void watchPace();
    // Leaves the line, and gives back a turn held.
    void release();

private:
    void begin();
    void paceWatched(qint64 left);

    HttpConnection& m_connection;
    bool m_holds = false;
    // The wait for the first bytes, then for the turn, then the watch over the pace.
    LazyTimer m_timer;
};
