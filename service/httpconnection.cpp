#include "httpconnection.h"

#include "clientaddress.h"
#include "httpserver.h"
#include "servicelog.h"
#include "warningpace.h"

#include <boost/asio/post.hpp>

#include <algorithm>

namespace {
namespace asio = boost::asio;
namespace http = boost::beast::http;

// A body larger than this waits for its turn before it is read.
const std::uint64_t largeBody = 1024 * 1024;

HttpHandler::Answer bare(int status)
{
    HttpHandler::Answer answer;
    answer.status = status;
    return answer;
}

// The handler's answer, or its answer for a failure when the work throws: one request fails, not the service.
HttpHandler::Answer answerOf(HttpHandler& handler, HttpHandler::Request request)
{
    const QString client = QString::fromStdString(request.peer);
    try {
        return handler.answer(std::move(request));
    } catch (...) {
        static WarningPace pace;
        pace.warn(QString("a request from %1 failed: %2").arg(client, HttpServer::failure(std::current_exception())));
    }
    return handler.failed();
}

} // namespace

HttpConnection::HttpConnection(HttpServer& server, asio::ip::tcp::socket socket, asio::ip::address peer)
    : m_server(server), m_stream(std::move(socket)), m_peer(std::move(peer)), m_client(ClientAddress::key(m_peer)),
      m_reader(*this), m_room(*this), m_turn(*this), m_watch(*this), m_writer(*this)
{
}

HttpConnection::~HttpConnection()
{
    close();
}

void HttpConnection::start()
{
    m_reader.start();
}

void HttpConnection::failed(const std::exception_ptr& thrown)
{
    // Closed first: the warning may want the memory that just ran out.
    close();
    static WarningPace pace;
    pace.warn(QString("the connection of %1 failed on the network thread: %2; closed it")
                  .arg(m_client.c_str(), HttpServer::failure(thrown)));
}

void HttpConnection::roomMade(qint64 bytes)
{
    if (m_state == State::Room)
        return startBody();
    m_reader.grow(bytes);
    m_reader.readHead();
}

void HttpConnection::checkHead()
{
    const auto& parser = m_reader.parser();
    const auto& head = parser.get();
    // A proxy's connection counts under the client it speaks for, now that the head names it, its memory too.
    m_client = m_server.clients().of(m_peer, head);
    m_room.readdress();
    const std::string target(head.target());
    const std::size_t mark = target.find('?');
    m_request.method = std::string(head.method_string());
    m_request.path = target.substr(0, mark);
    m_request.query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    m_request.peer = m_client;
    m_request.host = std::string(head[http::field::host]);
    m_request.origin = std::string(head[http::field::origin]);
    const http::verb method = head.method();
    const bool chunked = parser.chunked();
    const boost::optional<std::uint64_t> length = parser.content_length();
    m_reader.headChecked();

    if (m_server.clients().trusts(m_peer) && !m_server.table().claim(this, m_client)) {
        static WarningPace pace;
        pace.warn(QString("address %1 holds its %2 connections: refused another through the proxy")
                      .arg(m_client.c_str())
                      .arg(m_server.limits().perAddress));
        return answer(m_server.handler().busy());
    }
    if (method != http::verb::get && method != http::verb::post)
        return answer(bare(405));
    // The program always sends a length; a body in chunks would have to be read before its size is known.
    if (chunked || (method == http::verb::post && !length))
        return answer(bare(411));
    // A body sent with a GET is not read: the answer does not depend on it.
    if (method == http::verb::get)
        return queue();
    const std::optional<qint64> limit = m_server.handler().bodyLimit(m_request.path);
    if (!limit)
        return answer(bare(404));
    // Compared as sent: a length that no signed number holds is over every limit, never below one.
    if (*length > std::uint64_t(*limit))
        return answer(m_server.handler().tooLarge());
    // Within its path's limit, which is a signed number.
    m_length = qint64(*length);
    if (*length > largeBody)
        return m_turn.awaitBytes();
    m_state = State::Room;
    // The room the head took is the body's first: the head's buffer goes once its last bytes are in the body.
    if (m_room.claim(std::max<qint64>(0, m_length - m_room.held()), Clock::now() + m_server.limits().largeWait))
        startBody();
}

void HttpConnection::startBody()
{
    m_state = State::Body;
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 has its room").arg(m_client.c_str());
    m_reader.makeBody(m_length);
    if (m_turn.holds())
        m_turn.watchPace();
    m_reader.readBody();
}

void HttpConnection::queue()
{
    m_state = State::Working;
    m_server.table().working(this);
    // The request's memory is the worker's now, and is not taken from it for another.
    m_room.pin();
    m_request.body = m_reader.takeBody();
    m_reader.release();
    m_gone = std::make_shared<std::atomic<bool>>(false);
    m_request.gone = m_gone;
    const WorkQueue::Cost cost =
        m_server.handler().expensive(m_request) ? WorkQueue::Cost::Expensive : WorkQueue::Cost::Cheap;
    auto work = [self = shared_from_this(), request = std::move(m_request)](WorkQueue::Cost line) mutable {
        // A cheap request is small: it is kept as it came while its work runs, to go to the expensive line whole.
        request.cheap = line == WorkQueue::Cost::Cheap;
        HttpHandler::Answer answer = answerOf(self->m_server.handler(), request.cheap ? request : std::move(request));
        if (answer.expensive)
            return false;
        asio::post(self->m_server.network(), self->guarded([self, answer = std::move(answer)]() mutable {
            self->m_queued = false;
            self->answer(std::move(answer));
        }));
        return true;
    };
    if (const std::optional<quint64> ticket = m_server.queue().add(m_client, cost, std::move(work))) {
        m_queued = true;
        m_ticket = *ticket;
        qCDebug(lcTurns).noquote() << QString("a request from %1 waits for a worker").arg(m_client.c_str());
        return m_watch.watch();
    }
    static WarningPace pace;
    pace.warn(QString("requests from %1 that wait for a worker are at their cap of %2: refused another")
                  .arg(m_client.c_str())
                  .arg(m_server.limits().waitingPerAddress));
    answer(m_server.handler().busy());
}

void HttpConnection::answer(HttpHandler::Answer answer)
{
    // The turn and the memory end with the work: what remains is writing the answer, which costs no more than the
    // answer.
    releaseRequest();
    if (m_state == State::Closed)
        return;
    // A read or a watch still pending for the request ends: the answer goes out now.
    m_stream.cancel();
    m_state = State::Answering;
    // From here on the client's taking of the answer is its progress.
    progressed(0);
    m_reader.release();
    m_request = HttpHandler::Request();
    m_writer.write(std::move(answer), m_reader.version());
}

void HttpConnection::progressed(qint64 bytes)
{
    m_server.table().progressed(this);
    m_room.progressed(bytes);
}

void HttpConnection::refuse()
{
    // Nothing is read from here on: a read or a wait still pending ends, and leaves the connection to the answer.
    m_state = State::Answering;
    m_stream.cancel();
    asio::post(m_server.network(), guarded([this] { answer(m_server.handler().busy()); }));
}

void HttpConnection::releaseRequest()
{
    m_turn.release();
    m_room.release();
}

void HttpConnection::close()
{
    if (m_state == State::Closed)
        return;
    // The request's work, withdrawn below, may hold the last reference to the connection.
    const std::shared_ptr<HttpConnection> keep = weak_from_this().lock();
    m_state = State::Closed;
    m_stream.close();
    m_server.table().leave(this);
    // A request still waiting for a worker goes with its connection. One a worker is on stops at the worker's next
    // page; its turn and its memory end with that work, which holds them till then.
    if (m_queued && m_server.queue().withdraw(m_client, m_ticket))
        m_queued = false;
    if (m_gone)
        m_gone->store(true);
    if (!m_queued)
        releaseRequest();
    // What the connection held goes at once, not when its last handler has run.
    m_reader.release();
    m_request = HttpHandler::Request();
    m_writer.stop();
    m_server.closed();
}
