#pragma once

#include "answerwriter.h"
#include "clientwatch.h"
#include "connectionsteps.h"
#include "httphandler.h"
#include "largeturn.h"
#include "requestreader.h"
#include "roomclaim.h"
#include "stepmemory.h"

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
// runs on the network thread without blocking. Each role is a part of its own, with its own state and deadlines that
// the client's bytes never extend: reading the head and the body (RequestReader), the memory they are read into
// (RoomClaim), a large request's turn and pace (LargeTurn), watching a client whose bytes are not being read
// (ClientWatch), and writing the answer and draining what the client still sends (AnswerWriter). Each part tells the
// connection what happened; the connection alone keeps the request's state and asks the parts to act. Every byte read
// or taken counts as progress, which decides who goes first when places or memory run out; a request the service does
// not read or write meanwhile (waiting for memory, its turn or a worker, or worked on) is never without progress.
// While it waits, a client that closes its end gives everything back at once: the connection, its place among the
// waiting, its turn and its memory, those a worker holds once the worker lets go; a worker on it stops at its next
// page of the store.
class HttpConnection : public std::enable_shared_from_this<HttpConnection>,
                       public ConnectionSteps,
                       private RequestReader::Events,
                       private RoomClaim::Events,
                       private LargeTurn::Events,
                       private ClientWatch::Events,
                       private AnswerWriter::Events
{
public:
    HttpConnection(HttpServer& server, boost::asio::ip::tcp::socket socket, boost::asio::ip::address peer);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void start();
    // Ends the connection at once, whatever it was doing, and gives back what it held.
    void close() noexcept;
    const std::string& client() const override { return m_client; }
    void failed(const std::exception_ptr& thrown) noexcept override;

private:
    using Clock = std::chrono::steady_clock;
    enum class State
    {
        Head,
        // The head waits for more room to be read into.
        HeadRoom,
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

    std::shared_ptr<void> keep() override { return shared_from_this(); }

    void requestRead(qint64 bytes) override;
    bool headRoomWanted(qint64 bytes, Clock::time_point deadline) override;
    // Checks the head, now whole, and goes on to the body or answers.
    void headRead() override;
    void headUnreadable() override;
    void bodyRead() override;
    void readingEnded() override;

    void roomMade(qint64 bytes) override;
    void roomWaitEnded() override;
    void roomTaken() noexcept override;

    void bodyNeverCame() override;
    void turnTaken() override;
    void turnRefused() override;

    void clientHungUp() override;
    void bodyBytesCame() override;

    void answerTaken() override;
    void answerEnded() override;

    // Moves the request on: a request the service neither reads nor writes in that state leaves the order in which
    // connections give way at the cap, and comes back to it, as having made progress now, when it is read again.
    void setState(State state);
    // The head or the body waits for its room, unread.
    void awaitRoom(State state);
    // A large body waits for its first bytes, then lines up for its turn.
    void awaitBody();
    void lineUp();
    // Reads the body into the room made for it, after the 100 Continue the client may ask for.
    void startBody();
    // Hands the whole request to the workers, or refuses it when its address has its share waiting.
    void queue();
    // On a worker: hands the answer back to the network thread, whatever memory is left.
    void handBack(HttpHandler::Answer answer) noexcept;
    // The workers' answer to the request has come back.
    void answered(HttpHandler::Answer answer);
    void answer(HttpHandler::Answer answer);
    void answerBusy();
    // Answers that the service is busy, in a step of its own, reading nothing more meanwhile: the memory the request
    // was read into is another's now.
    void refuse();
    void progressed(qint64 bytes);
    // Gives back the large request's turn, its place in line and the memory the request held.
    void releaseRequest() noexcept;

    HttpServer& m_server;
    boost::beast::tcp_stream m_stream;
    boost::asio::ip::address m_peer;
    // The client's address as the limits count it: the peer's, or the client a trusted proxy's head names.
    std::string m_client;
    State m_state = State::Head;
    // The request as the head gave it, then with its body.
    HttpHandler::Request m_request;
    // The request is with the workers, waiting or worked on, under its ticket: its answer comes back.
    bool m_queued = false;
    quint64 m_ticket = 0;
    // Where the worker hands its answer back from.
    std::unique_ptr<StepMemory> m_answerStep;
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
