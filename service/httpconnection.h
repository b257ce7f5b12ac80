#pragma once

#include "httphandler.h"
#include "memorybudget.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

class HttpServer;

// One client connection, one request on it: the head is read, checked and refused or followed by the body, the whole
// request waits for a worker and is answered there, and the answer written; then the connection closes. Every step
// runs on the network thread without blocking, each under a deadline of its own that the client's bytes never extend:
// the first byte within the idle time, the head within the head time, a body or an answer within the time its length
// takes at a slow client's pace. An answer that its client takes no byte of for the stall time, as the system's
// count of bytes it has acknowledged shows, ends sooner. A head
// the server cannot read is answered 400; a body over its path's limit, or sent in chunks, is refused before any of
// it is read. Every byte read or taken counts as progress, which decides who goes first when places run out.
// The memory a head or a body is read into is claimed from the server's budget as its bytes come (a large request's
// body is its turn's), and the connection's reading waits while there is none; an answer held in memory counts
// against the server's room for answers, and goes to a file of the spool when that is taken. While a request waits
// for its turn or a worker, or is worked on, a client that closes its end gives everything back at once: the
// connection, its place among the waiting, its turn and its memory, those a worker holds once the worker lets go; a
// worker on it stops at its next page of the store.
class HttpConnection : public std::enable_shared_from_this<HttpConnection>, public MemoryBudget::Holder
{
public:
    HttpConnection(HttpServer& server, boost::asio::ip::tcp::socket socket, boost::asio::ip::address peer);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void start();
    // Ends the connection at once, whatever it was doing, and gives back what it held.
    void close();
    // A turn to read and work on a large request has come: false when the connection no longer waits for one.
    bool takeTurn();

    void evict() override;
    void roomMade() override;

private:
    enum class State
    {
        Idle,
        Head,
        InLine,
        Body,
        Working,
        Answering,
        Closed
    };
    // The parser reads the head only: the body is read straight into the request's memory.
    using Parser = boost::beast::http::request_parser<boost::beast::http::buffer_body>;
    using Clock = std::chrono::steady_clock;

    // Reads the head or the body, whichever the state says, until it is whole, by the deadline; each piece of memory
    // read into is claimed first.
    void readSome();
    // Claims memory to read more into, from the budget unless the connection holds a large request's turn; false
    // while the claim waits.
    bool claim(qint64 bytes);
    // Makes the room claimed: the head's buffer or the body grows by that many bytes.
    void grow(qint64 bytes);
    void freeHeadBuffer();
    void checkHead();
    void readBody();
    // Hands the whole request to the workers, or refuses it when its address has its share waiting.
    void queue();
    // Closes the connection once its client closes its end while the request waits for its turn or a worker, or is
    // worked on.
    void watchClient();
    void answer(HttpHandler::Answer answer);
    // Gives back the large request's turn and the memory the request held.
    void releaseRequest();
    void writeSome();
    // Closes the connection once its client has taken no byte of the answer for the stall time, or at the answer's
    // deadline.
    void watchStall();
    void finish();
    void dropAnswer();
    // Reads and drops what the client still sends of a request answered unread, until it closes or its time is up.
    void drainUnread();
    void drain(qint64 drained, Clock::time_point end);
    void progressed();

    HttpServer& m_server;
    boost::beast::tcp_stream m_stream;
    // The head's bytes as they come; gone once the head is read.
    boost::beast::flat_buffer m_buffer;
    std::optional<Parser> m_parser;
    // The request as the head gave it, then with its body.
    HttpHandler::Request m_request;
    unsigned m_version = 11;
    bool m_expectContinue = false;
    // Whether the whole request, its body too, has been read.
    bool m_requestRead = false;
    // The deadline of what is being read, which a wait for memory keeps too.
    Clock::time_point m_deadline;
    // The bytes of a claim that waits.
    qint64 m_wanted = 0;
    // The wait of a large request for its turn or of a claim for memory, or the watch over an answer.
    boost::asio::steady_timer m_timer;
    boost::asio::ip::address m_peer;
    // The client's address as the limits count it: the peer's, or the client a trusted proxy's head names.
    std::string m_client;
    State m_state = State::Idle;
    bool m_holdsTurn = false;
    bool m_watching = false;
    // What the client sent after its request while it waited, read and dropped.
    qint64 m_dropped = 0;
    // The request is with the workers, waiting or worked on, under its ticket: its answer comes back.
    bool m_queued = false;
    quint64 m_ticket = 0;
    // Set once the client has gone, for the worker on the request to see.
    std::shared_ptr<std::atomic<bool>> m_gone;
    // The body's length as the head declared it, whether or not it is read; at most what is ever drained.
    qint64 m_declared = 0;
    // The body: its length, and what has come of it into the room claimed so far (its size).
    qint64 m_length = 0;
    qint64 m_received = 0;
    QByteArray m_body;
    boost::beast::http::response<boost::beast::http::empty_body> m_continue;
    // The answer: its head's text, then its body, taken a piece at a time.
    std::string m_answerHead;
    AnswerText m_answer;
    // What the answer holds in memory, counted against the server's room for answers.
    qint64 m_answerMemory = 0;
    qint64 m_sent = 0;
    Clock::time_point m_answerDeadline;
    // When the client last took a byte, and the bytes the system held unacknowledged then.
    Clock::time_point m_lastTaken;
    int m_unacknowledged = -1;
};
