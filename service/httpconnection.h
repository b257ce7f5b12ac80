#pragma once

#include "httphandler.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/span_body.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

class HttpServer;

// One client connection, one request on it: the head is read, checked and refused or followed by the body, the whole
// request waits for a worker and is answered there, and the answer written; then the connection closes. Every step
// runs on the network thread without blocking, each under a deadline of its own that the client's bytes never extend:
// the first byte within the idle time, the head within the head time, a body or an answer within the time its length
// takes at a slow client's pace. An answer that its client takes no byte of for the stall time, as the system's
// count of bytes it has acknowledged shows, ends sooner. A head
// the server cannot read is answered 400; a body over its path's limit, or sent in chunks, is refused before any of
// it is read. Every byte read or taken counts as progress, which decides who goes first when places run out. While a
// request waits for its turn or a worker, or is worked on, a client that closes its end gives everything back at
// once: the connection, its place among the waiting, its turn; a worker on it stops at its next page of the store.
class HttpConnection : public std::enable_shared_from_this<HttpConnection>
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

private:
    enum class State
    {
        Head,
        InLine,
        Body,
        Working,
        Answering,
        Closed
    };
    using Parser = boost::beast::http::request_parser<boost::beast::http::span_body<char>>;
    using Clock = std::chrono::steady_clock;

    // Reads the head or the body, whichever the state says, until it is whole, by the deadline.
    void readSome(Clock::time_point deadline);
    void checkHead();
    void readBody();
    // Hands the whole request to the workers, or refuses it when its address has its share waiting.
    void queue();
    // Closes the connection once its client closes its end while the request waits for its turn or a worker, or is
    // worked on.
    void watchClient();
    void answer(HttpHandler::Answer answer);
    void releaseTurn();
    void writeSome();
    // Closes the connection once its client has taken no byte of the answer for the stall time.
    void watchStall();
    void finish();
    void drain(qint64 drained);
    void progressed();

    HttpServer& m_server;
    boost::beast::tcp_stream m_stream;
    boost::beast::flat_buffer m_buffer;
    Parser m_parser;
    // The wait of a large request for its turn, or the watch over an answer's progress.
    boost::asio::steady_timer m_timer;
    boost::asio::ip::address m_peer;
    // The client's address as the limits count it, once the head names it.
    std::string m_client;
    State m_state = State::Head;
    bool m_holdsTurn = false;
    bool m_watching = false;
    // What the client sent after its request while it waited, read and dropped.
    qint64 m_dropped = 0;
    // The request is with the workers, waiting or worked on, under its ticket: its answer comes back.
    bool m_queued = false;
    quint64 m_ticket = 0;
    // Set once the client has gone, for the worker on the request to see.
    std::shared_ptr<std::atomic<bool>> m_gone;
    QByteArray m_body;
    boost::beast::http::response<boost::beast::http::empty_body> m_continue;
    // The answer: its head's text, then its body, taken a piece at a time.
    std::string m_answerHead;
    AnswerText m_answer;
    qint64 m_sent = 0;
    Clock::time_point m_answerDeadline;
    // When the client last took a byte, and the bytes the system held unacknowledged then.
    Clock::time_point m_lastTaken;
    int m_unacknowledged = -1;
    QByteArray m_piece;
    qint64 m_pieceOffset = -1;
};
