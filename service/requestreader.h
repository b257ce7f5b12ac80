#pragma once

#include "floorwatch.h"
#include "requestbody.h"

#include <QtGlobal>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>

#include <chrono>
#include <functional>
#include <optional>

class ConnectionSteps;

// Reads a connection's request: its head into a buffer that grows, within the memory the connection claims for it, as
// its bytes come, then its body straight into memory made once for its declared length. The first byte comes within
// the idle time, the whole head within the head time from its first byte, and the body within its time
// (TransferRules); a body that sends nothing for the idle time, or less than the floor pace over an idle time, ends
// sooner. It tells the connection what it read and when the reading ended.
class RequestReader
{
public:
    // The parser reads the head only: the body is read straight into the request's memory.
    using Parser = boost::beast::http::request_parser<boost::beast::http::buffer_body>;
    using Clock = std::chrono::steady_clock;

    class Events
    {
    public:
        // That many bytes of the request were read.
        virtual void requestRead(qint64 bytes) = 0;
        // The head needs that many bytes more room to read on, by the deadline: true when it has it now, false when
        // the reader waits for roomMade().
        virtual bool headRoomWanted(qint64 bytes, Clock::time_point deadline) = 0;
        // The head is whole, to be checked; or it cannot be read as HTTP.
        virtual void headRead() = 0;
        virtual void headUnreadable() = 0;
        virtual void bodyRead() = 0;
        // Nothing more can be read: the client has gone, or its time, its silence or its pace ended the reading.
        virtual void readingEnded() = 0;

    protected:
        ~Events() = default;
    };

    // A request head larger than this is refused; the body may be far larger.
    static constexpr std::size_t maxHead = 64 * 1024;

    RequestReader(ConnectionSteps& steps, Events& events, boost::beast::tcp_stream& stream,
                  boost::asio::io_context& network, std::chrono::seconds idle, std::chrono::seconds headTime);

    // Waits for the head's first byte for the idle time, then reads it.
    void start();
    // The room the head waited for is there: it reads on.
    void roomMade(qint64 bytes);
    // The head as parsed, until headChecked().
    const Parser& parser() const { return *m_parser; }
    // Keeps what the request needs of the head: the parser goes, the bytes of the body read with it stay.
    void headChecked();
    // Bytes of the request read with the head and not parsed.
    bool holdsBytes() const { return m_buffer.size() > 0; }
    // Tells a client that asked for it to send its body, by the deadline, then goes on.
    void continueThen(Clock::time_point deadline, std::function<void()> next);
    // Makes the room for a body of that length, what came with the head its first bytes, and reads the rest.
    void readBody(qint64 length);
    // The body read, which the reader no longer holds.
    QByteArray takeBody() { return m_body.take(); }
    unsigned version() const { return m_version; }
    // The body's length as the head declared it, whether or not it is read; at most what is ever dropped.
    qint64 declared() const { return m_declared; }
    // Whether the whole request, its body too, has been read.
    bool wholeRead() const { return m_wholeRead; }
    // Says in the log that the body sent nothing for the idle time.
    void silent() const;
    // Reads nothing more: what is still pending ends without a word to the connection.
    void stop();
    // Lets go of everything read.
    void release();

private:
    void readHead();
    void readMore();
    void floorFell();
    void growHead(qint64 bytes);
    void freeHeadBuffer();

    ConnectionSteps& m_steps;
    Events& m_events;
    boost::beast::tcp_stream& m_stream;
    std::chrono::seconds m_idle;
    std::chrono::seconds m_headTime;
    // The head's bytes as they come; gone once the body has its room.
    boost::beast::flat_buffer m_buffer;
    std::optional<Parser> m_parser;
    unsigned m_version = 11;
    bool m_expectContinue = false;
    bool m_headBegun = false;
    bool m_wholeRead = false;
    bool m_stopped = false;
    qint64 m_declared = 0;
    // The deadline of what is being read: the first byte, the head, the body.
    Clock::time_point m_deadline;
    RequestBody m_body;
    FloorWatch m_floor;
    boost::beast::http::response<boost::beast::http::empty_body> m_continue;
};
