#pragma once

#include "answertext.h"
#include "floorwatch.h"
#include "httphandler.h"
#include "lazytimer.h"

#include <QtGlobal>

#include <boost/beast/core/tcp_stream.hpp>

#include <chrono>
#include <optional>
#include <string>

class ConnectionSteps;
class HttpServer;

// Writes a connection's answer as far as the system takes it, then again once it takes more, within the answer's time
// (TransferRules). A client that takes no byte of it for the stall time, as the system's count of bytes it has
// acknowledged shows, loses its connection sooner. An answer held in memory counts against the server's room for
// answers, and goes to a file of the spool when that is taken. After an answer given without reading the body, what
// the client still sends is read and dropped, so that it sees the answer, within the time the rest of its body takes
// and at the floor pace. It tells the connection when the client takes a byte and when the answer has ended.
class AnswerWriter
{
public:
    using Clock = std::chrono::steady_clock;

    class Events
    {
    public:
        // The client took more of the answer.
        virtual void answerTaken() = 0;
        // The answer is done, or can go no further: its client has gone, stalled or run out of time.
        virtual void answerEnded() = 0;

    protected:
        ~Events() = default;
    };

    AnswerWriter(ConnectionSteps& steps, Events& events, boost::beast::tcp_stream& stream, HttpServer& server);

    // Writes the answer to a request of the HTTP version. A request not read whole has its body's declared length
    // (0 for none) as `unread`: what the client still sends of it is drained after the answer.
    void write(HttpHandler::Answer answer, unsigned version, std::optional<qint64> unread);
    // Ends the writing, letting go of the answer.
    void stop();

private:
    // Lets go of the answer and the room it held; what the client still sends may yet be drained.
    void drop();
    void writeSome();
    // Ends the answer once its client has taken no byte of it for the stall time, or at the answer's deadline.
    void watchStall();
    void stallWatched();
    void finish();
    // Reads and drops what the client still sends of a request answered unread, until it closes or its time is up.
    void drainUnread();
    void drain(qint64 drained, Clock::time_point end);
    void taken();
    void end();

    ConnectionSteps& m_steps;
    Events& m_events;
    boost::beast::tcp_stream& m_stream;
    HttpServer& m_server;
    bool m_writing = false;
    // The answer: its head's text, then its body, taken a piece at a time.
    std::string m_head;
    AnswerText m_answer;
    // What the answer holds in memory, counted against the server's room for answers.
    qint64 m_memory = 0;
    qint64 m_sent = 0;
    std::optional<qint64> m_unread;
    Clock::time_point m_deadline;
    // When the client last took a byte, and the bytes the system held unacknowledged then.
    Clock::time_point m_lastTaken;
    int m_unacknowledged = -1;
    LazyTimer m_timer;
    FloorWatch m_floor;
};
