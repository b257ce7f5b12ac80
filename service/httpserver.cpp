#include "httpserver.h"

#include "answertext.h"
#include "httpconnection.h"
#include "servicelog.h"
#include "warningpace.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>

#include <QScopeGuard>

#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>

namespace {
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// While no descriptor is free, the listener waits this long before it accepts again instead of spinning.
const auto acceptPause = std::chrono::milliseconds(100);
// How long the connections open when the service is told to stop may go on, and how long the work still under way
// then has to reach its next page.
const std::chrono::seconds stopGrace(5);
const std::chrono::milliseconds lastPage(500);

const char* signalName(int signal)
{
    return signal == SIGINT ? "SIGINT" : "SIGTERM";
}

bool outOfDescriptors(const boost::system::error_code& error)
{
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory;
}
} // namespace

HttpServer::HttpServer(const Limits& limits, std::shared_ptr<AnswerSpool> spool)
    : m_limits(limits), m_clients(limits.trustedProxies), m_table(limits.maxConnections, limits.perAddress),
      m_turns(limits.largeAtOnce), m_memory(limits.requestMemory, limits.smallRequestMemory), m_spool(std::move(spool)),
      m_drainBuffer(std::size_t(AnswerText::pieceSize)), m_acceptor(m_network), m_acceptPause(m_network),
      m_signals(m_network, SIGTERM, SIGINT), m_stopGrace(m_network), m_stopOverdue(m_network),
      m_workers(std::size_t(limits.workers)),
      m_queue(m_workers, limits.workers, std::max(1, limits.workers - limits.cheapWorkers), limits.waitingPerAddress)
{
    m_pieceBuffer.reserve(AnswerText::pieceSize);
}

HttpServer::~HttpServer() = default;

quint16 HttpServer::listen(const QHostAddress& address, quint16 port, boost::system::error_code& failure)
{
    const tcp::endpoint endpoint(asio::ip::make_address(address.toString().toStdString(), failure), port);
    if (!failure)
        m_acceptor.open(endpoint.protocol(), failure);
    if (!failure)
        m_acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
    if (!failure && endpoint.protocol() == tcp::v6())
        m_acceptor.set_option(asio::ip::v6_only(false), failure);
    if (!failure)
        m_acceptor.bind(endpoint, failure);
    if (!failure)
        m_acceptor.listen(asio::socket_base::max_listen_connections, failure);
    const tcp::endpoint bound = failure ? tcp::endpoint() : m_acceptor.local_endpoint(failure);
    return failure ? 0 : bound.port();
}

void HttpServer::run(HttpHandler& handler)
{
    m_handler = &handler;
    // No worker may still be answering once the handler is gone. Their connections are closed at the stop, so their
    // work stops at its next page; what the workers hand back meanwhile is let go of, answer files and all, and a
    // second signal is still heard. The thread that joins them is made now, so that nothing the stop meets keeps it
    // from being made.
    std::promise<void> served;
    std::thread joiner([this, done = served.get_future()] {
        done.wait();
        m_workers.join();
        asio::post(m_network, [this] { m_network.stop(); });
    });
    awaitSignal();
    accept();
    // Until every connection has closed after a stop signal.
    serve();
    served.set_value();
    m_network.restart();
    serve();
    joiner.join();
}

QString HttpServer::failure(const std::exception_ptr& thrown)
{
    try {
        std::rethrow_exception(thrown);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an exception of no known type";
    }
}

void HttpServer::serve()
{
    for (bool failed = false;; failed = true) {
        try {
            if (failed)
                restartAccepting();
            m_network.run();
            return;
        } catch (...) {
            // A connection's own steps close it when they throw (HttpConnection); what throws elsewhere costs that step
            // alone.
            static WarningPace pace;
            const std::exception_ptr thrown = std::current_exception();
            pace.warnIfAble([&] { return "a step of the network thread failed: " + failure(thrown); });
        }
    }
}

void HttpServer::restartAccepting()
{
    // The step that threw may have been the accept's own, its handler never called: a fresh wait replaces whatever
    // was pending.
    if (m_stopping)
        return;
    boost::system::error_code ignored;
    m_acceptor.cancel(ignored);
    m_acceptPause.cancel();
    m_accepting = false;
    accept();
}

void HttpServer::awaitSignal()
{
    m_signals.async_wait([this](const boost::system::error_code& error, int signal) {
        if (error)
            return;
        if (m_stopping)
            return stopAtOnce(signal);
        // Heard again whatever stopping meets.
        awaitSignal();
        stop(signal);
    });
}

void HttpServer::stopAtOnce(int signal)
{
    qCWarning(lcService).noquote()
        << QString("%1 while stopping: stopped at once, work under way left uncommitted").arg(signalName(signal));
    std::_Exit(128 + signal);
}

void HttpServer::closed()
{
    if (m_stopping && m_table.empty())
        m_stopGrace.cancel();
}

void HttpServer::stop(int signal)
{
    m_stopping = true;
    m_stopEnd = std::chrono::steady_clock::now() + stopGrace + lastPage;
    boost::system::error_code ignored;
    m_acceptor.close(ignored);
    m_acceptPause.cancel();
    try {
        m_stopOverdue.expires_at(m_stopEnd);
        m_stopOverdue.async_wait([](const boost::system::error_code& error) {
            if (error)
                return;
            // The store keeps nothing of a transaction never committed, and the spool clears its files at the next
            // start.
            qCInfo(lcService) << "stopped, leaving behind work under way that reached no page by the stop's end: "
                                 "nothing of it is committed, and the next start removes its answer files";
            std::_Exit(0);
        });
        // Ends early, cancelled, once the last connection has closed.
        m_stopGrace.expires_after(stopGrace);
        m_stopGrace.async_wait([this](const boost::system::error_code&) { endGrace(); });
        if (m_table.empty())
            m_stopGrace.cancel();
    } catch (...) {
        // Without a grace to wait for, the connections left are closed now.
        endGrace();
    }
    try {
        qCInfo(lcService).noquote() << QString("stopping on %1: no new connections; those open have %2 s to finish")
                                           .arg(signalName(signal))
                                           .arg(stopGrace.count());
    } catch (...) {
    }
}

void HttpServer::endGrace()
{
    // The wait for a second signal would keep the network thread going: run() goes on to the workers, whatever
    // closing the connections left met.
    const auto stopNetwork = qScopeGuard([this] { m_network.stop(); });
    closeAll();
}

void HttpServer::closeAll() noexcept
{
    // Closing one connection never ends another: each is held by its own handlers, which run later. A close costs
    // nothing that can fail, and what it gives back that another could have (a turn, memory) is handed on in that
    // one's own step; the operator is told once they are all closed.
    const bool left = !m_table.empty();
    while (HttpConnection* connection = m_table.any())
        connection->close();
    if (!left)
        return;
    try {
        qCInfo(lcService) << "the stop's grace was over: closed the connections left";
    } catch (...) {
    }
}

bool HttpServer::holdAnswer(qint64 bytes)
{
    if (m_answersHeld + bytes > m_limits.answerMemory)
        return false;
    m_answersHeld += bytes;
    return true;
}

void HttpServer::releaseAnswer(qint64 bytes)
{
    m_answersHeld -= bytes;
}

void HttpServer::accept()
{
    if (m_stopping || m_accepting)
        return;
    try {
        m_acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
            // A connection accepted as the service stops is closed unserved; a wait cancelled has been replaced.
            if (m_stopping || error == asio::error::operation_aborted)
                return;
            m_accepting = false;
            if (!error)
                admit(std::move(socket));
            else if (outOfDescriptors(error))
                return pauseAccepting();
            accept();
        });
        m_accepting = true;
    } catch (...) {
        static WarningPace pace;
        const std::exception_ptr thrown = std::current_exception();
        pace.warnIfAble(
            [&] { return "could not wait for the next connection: " + failure(thrown) + "; trying again"; });
        acceptLater();
    }
}

void HttpServer::acceptLater()
{
    m_acceptPause.expires_after(acceptPause);
    m_acceptPause.async_wait([this](const boost::system::error_code& error) {
        if (error)
            return;
        m_accepting = false;
        accept();
    });
    m_accepting = true;
}

void HttpServer::admit(tcp::socket socket) noexcept
{
    std::shared_ptr<HttpConnection> connection;
    try {
        boost::system::error_code error;
        const tcp::endpoint remote = socket.remote_endpoint(error);
        if (error)
            return;
        // An answer's head and body go out in separate writes: without this the body would wait for the client's
        // delayed acknowledgement.
        socket.set_option(tcp::no_delay(true), error);
        connection = std::make_shared<HttpConnection>(*this, std::move(socket), remote.address());
        // A proxy's connections count under the clients their heads name, not under the proxy.
        seat(connection, m_clients.trusts(remote.address()) ? std::string() : connection->client());
    } catch (...) {
        // The accept loop goes on whatever admitting this one met: only this connection is lost.
        if (connection)
            connection->close();
        static WarningPace pace;
        const std::exception_ptr thrown = std::current_exception();
        pace.warnIfAble([&] {
            return QString("admitting a connection from %1 failed: %2; closed it")
                .arg(connection ? connection->client().c_str() : "a client", failure(thrown));
        });
    }
}

void HttpServer::seat(const std::shared_ptr<HttpConnection>& connection, const std::string& counted)
{
    ConnectionTable::Admission admission = m_table.admit(connection.get(), counted);
    bool madeRoom = false;
    for (HttpConnection* stalest = nullptr;
         admission == ConnectionTable::Admission::Full && (stalest = m_table.leastProgressed()) != nullptr;) {
        stalest->close();
        madeRoom = true;
        admission = m_table.admit(connection.get(), counted);
    }
    if (madeRoom || admission == ConnectionTable::Admission::Full) {
        static WarningPace pace;
        pace.warnIfAble([&] {
            return QString("all %1 connections taken: %2 to admit one from %3")
                .arg(m_limits.maxConnections)
                .arg(madeRoom ? "closed the one being read or written that made no progress for longest"
                              : "none is being read or written, refused it")
                .arg(connection->client().c_str());
        });
    } else if (admission == ConnectionTable::Admission::AddressFull) {
        static WarningPace pace;
        pace.warnIfAble([&] {
            return QString("address %1 holds its %2 connections: refused another")
                .arg(connection->client().c_str())
                .arg(m_limits.perAddress);
        });
    }
    // A connection refused goes with its last owner.
    if (admission == ConnectionTable::Admission::Admitted)
        connection->start();
}

void HttpServer::pauseAccepting()
{
    // The pending connection stays in the backlog, so accepting again at once would fail again.
    acceptLater();
    static WarningPace pace;
    pace.warnIfAble([] {
        return QString("no file descriptor free to accept a connection: closing the one being read or written that "
                       "made no progress for longest");
    });
    if (HttpConnection* stalest = m_table.leastProgressed())
        stalest->close();
}
