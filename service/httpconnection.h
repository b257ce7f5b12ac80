#pragma once

#include "httphandler.h"
#include "memorybudget.h"
#include "requestbody.h"

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
// takes at a slow client's pace; a body that sends nothing for the idle time ends sooner, whatever its length. An
// answer that its client takes no byte of for the stall time, as the system's count of bytes it has acknowledged
// shows, ends sooner too. A head the server cannot read is answered 400; a body over its path's limit, or sent in
// chunks, is refused before any of it is read. Every byte read or taken counts as progress, which decides who goes
// first when places or memory run out.
// A head's memory is claimed from the server's budget as its bytes come, a body's whole room by its declared length
// once the head is read (the room the head took is the body's first), and made at once; the connection's reading waits
// while there is none. A large request's body is its turn's: it lines up for one once its first bytes come, and gives
// the turn up to one waiting when it sends slower than a floor pace. An answer held in memory counts against the
// server's room for answers, and goes to a file of the spool when that is taken. While a request waits for memory, its
// body's bytes, its turn or a worker, or is worked on, a client that closes its end gives everything back at once:
// the connection, its place among the waiting, its turn and its memory, those a worker holds once the worker lets go;
// a worker on it stops at its next page of the store.
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
    // A turn to read and work on the large request waiting in line has come.
    void takeTurn();

    void evict() override;
    void roomMade() override;

private:
    enum class State
    {
        Idle,
        Head,
        // The body waits for its room, or a large one for its first bytes, then for its turn.
        Room,
        Arriving,
        InLine,
        Body,
        Working,
        Answering,
        Closed
    };
    // The parser reads the head only: the body is read straight into the request's memory.
    using Parser = boost::beast::http::request_parser<boost::beast::http::buffer_body>;
    using Clock = std::chrono::steady_clock;

    void readHead();
    // Claims memory to read more into, waiting for it until the deadline; false while the claim waits.
    bool claim(qint64 bytes, Clock::time_point deadline);
    // Waits for room until the next time a holder comes to give way, or the deadline.
    void awaitRoom(std::optional<Clock::time_point> stall);
    void growHead(qint64 bytes);
    void freeHeadBuffer();
    void checkHead();
    // A large body waits for its first bytes before it lines up for its turn: a client that sends none holds none.
    void awaitBytes();
    void enterLine();
    // Makes the body's room and reads into it, after the 100 Continue the client may ask for.
    void startBody();
    void readBody();
    // Tells a client that asked for it to send its body, then goes on.
    void continueThen(void (HttpConnection::*next)());
    // Gives a large request's turn to one waiting when its body comes slower than the floor pace.
    void watchPace();
    void silent();
    // Hands the whole request to the workers, or refuses it when its address has its share waiting.
    void queue();
    // Closes the connection once its client closes its end while its request waits for memory, its body's bytes, its
    // turn or a worker, or is worked on.
    void watchClient();
    bool watched() const;
    // Closes the connection when its client has gone, and lines a large request up once its bytes have come; false
    // when it did either.
    bool clientStays();
    // Whether the client has closed its end or reset the connection, even with bytes of it still unread.
    bool hungUp();
    void answer(HttpHandler::Answer answer);
    // Gives back the large request's turn, its place in line and the memory the request held.
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
    // The step as the network thread runs it: whatever it throws, a failed allocation above all, closes this
    // connection alone, with a warning, as a request whose work throws fails alone.
    template <typename Step> auto guarded(Step step);

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
    // The deadline of what is being read.
    Clock::time_point m_deadline;
    // The bytes of a claim that waits, and until when it may; the bytes the budget has granted.
    qint64 m_wanted = 0;
    Clock::time_point m_waitDeadline;
    qint64 m_held = 0;
    // The wait for memory, a large body's first bytes or its turn, the watch over its pace, or over an answer.
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
    // The body: its declared length, and what has come of it.
    qint64 m_length = 0;
    RequestBody m_body;
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
