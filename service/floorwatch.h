#pragma once

#include "lazytimer.h"

#include <QtGlobal>

#include <chrono>
#include <functional>

class ConnectionSteps;

// Whether what a client sends keeps the floor pace (TransferRules) over every window of the idle time, judged on a
// timer of its own from the moment the service begins to read: however the client spaces its bytes, a window that
// brings less than the floor ends the transfer at its own end, not when the next byte comes. One that brings nothing
// is left to the silence its reader ends.
class FloorWatch
{
public:
    FloorWatch(ConnectionSteps& steps, boost::asio::io_context& network);

    // Judges the bytes counted from now, a window at a time; `fell` runs, once, at the end of the first window short of
    // the floor.
    void start(std::chrono::seconds window, std::function<void()> fell);
    void counted(qint64 bytes) { m_counted += bytes; }
    void stop();

private:
    void awaitWindow();

    ConnectionSteps& m_steps;
    LazyTimer m_timer;
    std::chrono::seconds m_window{0};
    qint64 m_counted = 0;
    std::function<void()> m_fell;
    bool m_watching = false;
};
