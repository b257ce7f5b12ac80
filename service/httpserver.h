#pragma once

#include "clientaddress.h"
#include "connectiontable.h"
#include "requestturns.h"
#include "workqueue.h"

#include <QHostAddress>
#include <QString>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>

#include <chrono>
#include <vector>

class HttpHandler;

// The service's HTTP server. One network thread accepts every connection and reads and writes them all without
// blocking, so that a slow or idle client holds a descriptor and a bounded buffer, never a thread; whole requests are
// answered on a pool of worker threads, shared fairly among client addresses. When every place is taken, the
// connection that has gone longest without progress, sending its request or taking its answer, makes room for the
// new one; a request being worked on is never dropped. SIGTERM or SIGINT stops it: no connection is accepted from
// then on, and those open get a short grace to finish before they are closed.
class HttpServer
{
public:
    struct Limits
    {
        int workers = 2;
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
        std::chrono::seconds largeWait{60};
    };

    explicit HttpServer(const Limits& limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The port listened on (a free one when asked for 0), or 0 with the reason in `error`.
    quint16 listen(const QHostAddress& address, quint16 port, QString& error);
    // Serves connections on the calling thread, answered by the handler, until a stop signal; returns once every
    // connection is closed and every worker has ended.
    void run(HttpHandler& handler);
    // A connection has closed.
    void closed();

    const Limits& limits() const { return m_limits; }
    HttpHandler& handler() { return *m_handler; }
    boost::asio::io_context& network() { return m_network; }
    ConnectionTable& table() { return m_table; }
    RequestTurns& turns() { return m_turns; }
    WorkQueue& queue() { return m_queue; }
    const ClientAddress& clients() const { return m_clients; }

private:
    void accept();
    void admit(boost::asio::ip::tcp::socket socket);
    void pauseAccepting();
    void stop(int signal);
    // Closes every connection left: the work still under way on their requests stops at its next page.
    void closeAll();

    Limits m_limits;
    HttpHandler* m_handler = nullptr;
    ClientAddress m_clients;
    // Before the network: connections still held by its handlers when it goes give their places back.
    ConnectionTable m_table;
    RequestTurns m_turns;
    boost::asio::io_context m_network{1};
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_acceptPause;
    boost::asio::signal_set m_signals;
    // The grace the open connections get once the service stops.
    boost::asio::steady_timer m_stopGrace;
    bool m_stopping = false;
    boost::asio::thread_pool m_workers;
    // Made after the workers it hands requests to; run() joins them before either goes.
    WorkQueue m_queue;
};
