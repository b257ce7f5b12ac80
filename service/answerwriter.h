#pragma once

#include "answertext.h"
#include "httphandler.h"
#include "lazytimer.h"

#include <QtGlobal>

#include <chrono>
#include <string>

class HttpConnection;

// Writes a connection's answer as far as the system takes it, then again once it takes more, within the time its
// length takes at the slowest pace served. A client that takes no byte of it for the stall time, as the system's count
// of bytes it has acknowledged shows, loses its connection sooner. An answer held in memory counts against the
// server's room for answers, and goes to a file of the spool when that is taken. After an answer given without reading
// the body, what the client still sends is read and dropped, so that it sees the answer.
class AnswerWriter
{
public:
    using Clock = std::chrono::steady_clock;

    explicit AnswerWriter(HttpConnection& connection);

    // Writes the answer to a request of the HTTP version, whose body was read or not.
    void write(HttpHandler::Answer answer, unsigned version);
    // Ends the writing, letting go of the answer.
    void stop();

private:
    // Lets go of the answer and the room it held; what the client still sends may yet be drained.
    void drop();
    void writeSome();
    // Closes the connection once its client has taken no byte of the answer for the stall time, or at the answer's
    // deadline.
    void watchStall();
    void stallWatched();
    void finish();
    // Reads and drops what the client still sends of a request answered unread, until it closes or its time is up.
    void drainUnread();
    void drain(qint64 drained, Clock::time_point end);
    void taken();

    HttpConnection& m_connection;
    // The answer: its head's text, then its body, taken a piece at a time.
    std::string m_head;
    AnswerText m_answer;
    // What the answer holds in memory, counted against the server's room for answers.
    qint64 m_memory = 0;
    qint64 m_sent = 0;
    Clock::time_point m_deadline;
    // When the client last took a byte, and the bytes the system held unacknowledged then.
    Clock::time_point m_lastTaken;
    int m_unacknowledged = -1;
    LazyTimer m_timer;
};
