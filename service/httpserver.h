#pragma once

#include "clientaddress.h"
#include "connectiontable.h"
#include "memorybudget.h"
#include "requestturns.h"
#include "workqueue.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>

#include <chrono>
#include <exception>
#include <memory>
#include <vector>

class AnswerSpool;
class HttpConnection;
class HttpHandler;

// The service's HTTP server. One network thread accepts every connection and reads and writes them all without
// blocking, so that a slow or idle client holds a descriptor and a bounded buffer, never a thread; whole requests are
// answered on a pool of worker threads, shared fairly among client addresses. When every place is taken, the
// connection being read or written that has gone longest without progress, sending its request or taking its answer,
// makes room for the new one; a request the service does not read meanwhile (waiting for memory, its turn or a worker,
// or worked on) is never dropped for it, and when every connection is such, the new one is refused. The memory that
// heads and bodies are read into, that answers are held in and that pieces of answers' files are read into is bounded
// in all, however many connections there are. SIGTERM or SIGINT stops it: no connection is accepted from then on, and
// those open get a grace of 5 s to finish before they are closed; work still under way then stops at its next page,
// without committing anything, and work that reaches none within half a second more is left behind as the process ends.
// A second signal ends it at once. A step of the network thread that throws, for want of memory above all, closes its
// own connection alone, and never stops the accepting: admitting one, handing it a large request's turn, and closing it
// at the stop are such steps too.
class HttpServer
{
public:
    struct Limits
    {
        int workers = 2;
        // Workers that expensive requests leave to cheap ones, as far as the workers less one go.
        int cheapWorkers = 2;
        int maxConnections = 1000;
        int perAddress = 32;
        // Requests of one client address that may wait for a worker at once.
        int waitingPerAddress = 4;
        // A connection sends its first byte within the idle time, then its whole head within the head time.
        std::chrono::seconds idle{30};
        std::chrono::seconds head{10};
        // A client that takes no byte of its answer for this long loses its connection.
        std::chrono::seconds writeStall{30};
        // Peers whose X-Forwarded-For names the client.
        std::vector<boost::asio::ip::address> trustedProxies;
        // Large requests read and worked on at once, and how long one waits for its turn.
        int largeAtOnce = 2;
        std::chrono::seconds largeWait{45};
        // Memory for heads and for the bodies of requests that are not large, in all (MemoryBudget), and the part of it
        // kept for heads and small bodies.
        qint64 requestMemory = 64 * 1024 * 1024;
        qint64 smallRequestMemory = 8 * 1024 * 1024;
        // Memory for answers held while their clients take them, in all; answers past it wait in the spool.
        qint64 answerMemory = 32 * 1024 * 1024;
    };

    // Answers that find no room in memory wait for their clients in the spool.
    HttpServer(const Limits& limits, std::shared_ptr<AnswerSpool> spool);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The port listened on (a free one when asked for 0), or 0 with the reason in `failure`.
    quint16 listen(const QHostAddress& address, quint16 port, boost::system::error_code& failure);
    // Serves connections on the calling thread, answered by the handler, until a stop signal; returns once every
    // connection is closed and every worker has ended, or ends the process when the stop's time is up first.
    void run(HttpHandler& handler);
    // What was thrown, in words for the log.
    static QString failure(const std::exception_ptr& thrown);
    // A connection has closed.
    void closed();

    const Limits& limits() const { return m_limits; }
    HttpHandler& handler() { return *m_handler; }
    boost::asio::io_context& network() { return m_network; }
    ConnectionTable& table() { return m_table; }
    RequestTurns& turns() { return m_turns; }
    WorkQueue& queue() { return m_queue; }
    const ClientAddress& clients() const { return m_clients; }
    MemoryBudget& memory() { return m_memory; }
    const std::shared_ptr<AnswerSpool>& spool() const { return m_spool; }
    // Takes room for an answer held in memory; false when held answers take all there is.
    bool holdAnswer(qint64 bytes);
    void releaseAnswer(qint64 bytes);
    // The buffer every connection reads its answer's file pieces into, and the one it reads what it drops into: the
    // network thread uses each for one connection at a time.
    QByteArray& pieceBuffer() { return m_pieceBuffer; }
    boost::asio::mutable_buffer drainBuffer() { return boost::asio::buffer(m_drainBuffer); }

private:
    // Waits for the next connection, unless a wait is under way.
    void accept();
    // Accepts again after a pause: no descriptor is free, or waiting failed.
    void acceptLater();
    // Waits for the next connection afresh, whatever wait was pending.
    void restartAccepting();
    // Admits an accepted connection; whatever that meets closes this one alone.
    void admit(boost::asio::ip::tcp::socket socket) noexcept;
    // Gives the connection a place, counted under the address unless it is empty, making room when all are taken.
    void seat(const std::shared_ptr<HttpConnection>& connection, const std::string& counted);
    void pauseAccepting();
    // Runs the network thread until it has nothing left to do or is stopped, whatever its steps throw.
    void serve();
    void awaitSignal();
    void stop(int signal);
    void stopAtOnce(int signal);
    // Closes the connections left once the stop's grace is over, and stops the network thread whatever that meets.
    void endGrace();
    // Closes every connection left: the work still under way on their requests stops at its next page.
    void closeAll() noexcept;

    Limits m_limits;
    HttpHandler* m_handler = nullptr;
    ClientAddress m_clients;
    // Before the network: connections still held by its handlers when it goes give their places back.
    ConnectionTable m_table;
    RequestTurns m_turns;
    MemoryBudget m_memory;
    std::shared_ptr<AnswerSpool> m_spool;
    qint64 m_answersHeld = 0;
    QByteArray m_pieceBuffer;
    std::vector<char> m_drainBuffer;
    boost::asio::io_context m_network{1};
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_acceptPause;
    // A connection is waited for, or the pause before waiting again.
    bool m_accepting = false;
    boost::asio::signal_set m_signals;
    // The grace the open connections get once the service stops.
    boost::asio::steady_timer m_stopGrace;
    bool m_stopping = false;
    // When the work still under way is left behind, and the process ends.
    std::chrono::steady_clock::time_point m_stopEnd;
    boost::asio::steady_timer m_stopOverdue;
    boost::asio::thread_pool m_workers;
    // Made after the workers it hands requests to; run() joins them before either goes.
    WorkQueue m_queue;
};
