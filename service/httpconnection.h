#pragma once

#include "answerwriter.h"
#include "clientwatch.h"
#include "httphandler.h"
#include "largeturn.h"
#include "requestreader.h"
#include "roomclaim.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

class HttpServer;

// One client connection, one request on it: the head is read, checked and refused or followed by the body, the whole
// request waits for a worker and is answered there, and the answer written; then the connection closes. Every step
// runs on the network thread without blocking. The connection keeps the request's state and hands each role to a
// part of its own, each under a deadline of its own that the client's bytes never extend: reading the head and the
// body (RequestReader), the memory they are read into (RoomClaim), a large request's turn and pace (LargeTurn),
// watching a client whose bytes are not being read (ClientWatch), and writing the answer and draining what the
// client still sends (AnswerWriter). Every byte read or taken counts as progress, which decides who goes first when
// places or memory run out. While a request waits for memory, its body's bytes, its turn or a worker, or is worked
// on, a client that closes its end gives everything back at once: the connection, its place among the waiting, its
// turn and its memory, those a worker holds once the worker lets go; a worker on it stops at its next page of the
// store.
class HttpConnection : public std::enable_shared_from_this<HttpConnection>
{
public:
    enum class State
    {
        Idle,
        Head,
        // The body waits for its room.
        Room,
        // A large body waits for its first bytes, then for its turn.
        Arriving,
        InLine,
        Body,
        Working,
        Answering,
        Closed
    };
    using Clock = std::chrono::steady_clock;

    // More than the largest body any path takes, with its head: the most ever read and dropped.
    static constexpr qint64 maxDrained = 80 * 1024 * 1024;

    HttpConnection(HttpServer& server, boost::asio::ip::tcp::socket socket, boost::asio::ip::address peer);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void start();
    // Ends the connection at once, whatever it was doing, and gives back what it held.
    void close();

    // What the parts share and tell the connection.
    HttpServer& server() { return m_server; }
    boost::beast::tcp_stream& stream() { return m_stream; }
    const std::string& client() const { return m_client; }
    State state() const { return m_state; }
    // Whether a worker has the request, waiting or at work.
    bool queued() const { return m_queued; }
    void setState(State state) { m_state = state; }
    RequestReader& reader() { return m_reader; }
    RoomClaim& room() { return m_room; }
    LargeTurn& turn() { return m_turn; }
    ClientWatch& watch() { return m_watch; }
    // The head has been read whole.
    void checkHead();
    // The memory a claim waited for is there: the body's room, or more for the head.
    void roomMade(qint64 bytes);
    // Makes the body's room and reads into it, after the 100 Continue the client may ask for.
    void startBody();
    // Hands the whole request to the workers, or refuses it when its address has its share waiting.
    void queue();
    void answer(HttpHandler::Answer answer);
    // Answers that the service is busy, in a step of its own, reading nothing more meanwhile: the memory the request
    // was read into is another's now.
    void refuse();
    // `bytes` more of the request were read, or of the answer taken.
    void progressed(qint64 bytes);
    // The step as the network thread runs it: whatever it throws, a failed allocation above all, closes this
    // connection alone, with a warning, as a request whose work throws fails alone.
    template <typename Step> auto guarded(Step step);

private:
    void failed(const std::exception_ptr& thrown);
    // Gives back the large request's turn, its place in line and the memory the request held.
    void releaseRequest();

    HttpServer& m_server;
    boost::beast::tcp_stream m_stream;
    boost::asio::ip::address m_peer;
    // The client's address as the limits count it: the peer's, or the client a trusted proxy's head names.
    std::string m_client;
    State m_state = State::Idle;
    // The request as the head gave it, then with its body.
    HttpHandler::Request m_request;
    // The request is with the workers, waiting or worked on, under its ticket: its answer comes back.
    bool m_queued = false;
    quint64 m_ticket = 0;
    // Set once the client has gone, for the worker on the request to see.
    std::shared_ptr<std::atomic<bool>> m_gone;
    // The body's length, as declared.
    qint64 m_length = 0;
    RequestReader m_reader;
    RoomClaim m_room;
    LargeTurn m_turn;
    ClientWatch m_watch;
    AnswerWriter m_writer;
};

template <typename Step> auto HttpConnection::guarded(Step step)
{
    return [self = shared_from_this(), step = std::move(step)](auto&&... arguments) mutable {
        try {
            step(std::forward<decltype(arguments)>(arguments)...);
        } catch (...) {
            self->failed(std::current_exception());
        }
    };
}
