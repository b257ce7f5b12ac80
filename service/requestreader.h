#pragma once

#include "requestbody.h"

#include <QtGlobal>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

class HttpConnection;

// Reads a connection's request: its head into a buffer that grows, within the memory the connection claims, as its
// bytes come, then its body straight into memory made once for its declared length. The first byte comes within the
// idle time, the whole head within the head time from its first byte, and the body within the idle time and the time
// its length takes at a floor pace far below any real line; a body that sends nothing for the idle time, or less than
// the floor pace over an idle time, ends sooner.
class RequestReader
{
public:
    // The parser reads the head only: the body is read straight into the request's memory.
    using Parser = boost::beast::http::request_parser<boost::beast::http::buffer_body>;
    using Clock = std::chrono::steady_clock;

    // A request head larger than this is refused; the body may be far larger.
    static constexpr std::size_t maxHead = 64 * 1024;

    explicit RequestReader(HttpConnection& connection);

    // Waits for the head's first byte for the idle time, then reads it.
    void start();
    // Reads on, claiming more room as the head grows; the connection checks the head once it is whole.
    void readHead();
    // The claim for more of the head's room has been granted.
    void grow(qint64 bytes);
    // The head as parsed, until release().
    const Parser& parser() const { return *m_parser; }
    // Keeps what the request needs of the head: the parser and its buffer go, the bytes of the body read with it stay.
    void headChecked();

    // Makes the room for a body of that length; what came with the head is its first bytes.
    void makeBody(qint64 length);
    // Reads the body, after the 100 Continue the client may ask for; the connection queues the request once it is
    // whole.
    void readBody();
    qint64 bodyLeft() const { return m_body.left(); }
    // The body read, which the reader no longer holds.
    QByteArray takeBody() { return m_body.take(); }
    // Bytes of the request the head's buffer holds unparsed.
    bool holdsBytes() const { return m_buffer.size() > 0; }
    unsigned version() const { return m_version; }
    // The body's length as the head declared it, whether or not it is read; at most what is ever drained.
    qint64 declared() const { return m_declared; }
    // Whether the whole request, its body too, has been read.
    bool requestRead() const { return m_requestRead; }
    // Tells a client that asked for it to send its body, then goes on.
    void continueThen(Clock::time_point deadline, std::function<void()> next);
    // Says that the body sent nothing for the idle time.
    void silent() const;
    // Lets go of everything read.
    void release();

private:
    void readMore();
    // Whether the body came at the floor pace at least over the last idle time; says so in the log when not.
    bool keepsFloor();
    void growHead(qint64 bytes);
    void freeHeadBuffer();

    HttpConnection& m_connection;
    // The head's bytes as they come; gone once the head is read.
    boost::beast::flat_buffer m_buffer;
    std::optional<Parser> m_parser;
    unsigned m_version = 11;
    bool m_expectContinue = false;
    bool m_requestRead = false;
    qint64 m_declared = 0;
    // The deadline of what is being read.
    Clock::time_point m_deadline;
    RequestBody m_body;
    // Since when the body's pace is judged, and what was left of it then.
    std::pair<Clock::time_point, qint64> m_window;
    boost::beast::http::response<boost::beast::http::empty_body> m_continue;
};
