#pragma once

#include "lazytimer.h"
#include "requestturns.h"

#include <QtGlobal>

#include <chrono>

class ConnectionSteps;

// A large request's turn: its body is read and worked on only while it holds one of the few the server gives at once
// (RequestTurns). It lines up once its first bytes come, so that a client that sends none holds none, waits in line
// for the line's time at most, and gives its turn up to one waiting when its body comes slower than the real pace
// (TransferRules). It tells the connection which.
class LargeTurn : public RequestTurns::Waiter
{
public:
    using Clock = std::chrono::steady_clock;

    class Events
    {
    public:
        // The body sent no byte for the idle time before it lined up.
        virtual void bodyNeverCame() = 0;
        // The turn is the request's: its body is to be read.
        virtual void turnTaken() = 0;
        // The request is to be told the service is busy: it waited in line for the line's time in vain, or its body
        // came slower than the real pace while another waited, to whom the turn goes.
        virtual void turnRefused() = 0;

    protected:
        ~Events() = default;
    };

    LargeTurn(ConnectionSteps& steps, Events& events, RequestTurns& turns, boost::asio::io_context& network,
              std::chrono::seconds idle, std::chrono::seconds lineWait);

    // Waits for the body's first bytes for the idle time; the time by which they must come.
    Clock::time_point awaitBytes();
    // Lines up for a turn, or takes one that is free at once.
    void enterLine();
    void turnGiven() noexcept override;
    bool holds() const { return m_holds; }
    // Watches the pace of the body read in the turn, counted(), until the body is whole.
    void watchPace();
    void counted(qint64 bytes) { m_paced += bytes; }
    void bodyWhole();
    // Leaves the line, and gives back a turn held.
    void release();

private:
    enum class Stage
    {
        Outside,
        Arriving,
        InLine,
        Reading,
        Read
    };

    void begin();
    void paceWatched();

    ConnectionSteps& m_steps;
    Events& m_events;
    RequestTurns& m_turns;
    std::chrono::seconds m_idle;
    std::chrono::seconds m_lineWait;
    Stage m_stage = Stage::Outside;
    bool m_holds = false;
    // The body's bytes read since its pace was last looked at.
    qint64 m_paced = 0;
    // The wait for the first bytes, then for the turn, then the watch over the pace.
    LazyTimer m_timer;
};
