#include "httpconnection.h"

#include "clientaddress.h"
#include "httpserver.h"
#include "servicelog.h"
#include "transferrules.h"
#include "warningpace.h"

#include <boost/asio/bind_allocator.hpp>
#include <boost/asio/post.hpp>

#include <algorithm>

namespace {
namespace asio = boost::asio;
namespace http = boost::beast::http;

HttpHandler::Answer bare(int status)
{
    HttpHandler::Answer answer;
    answer.status = status;
    return answer;
}

// The handler's answer, or its answer for a failure when the work throws: one request fails, not the service. A
// request taken from the cheap line is kept as it came, to go to the expensive line whole.
HttpHandler::Answer answerOf(HttpHandler& handler, HttpHandler::Request& request, const std::string& client) noexcept
{
    try {
        return handler.answer(request.cheap ? HttpHandler::Request(request) : std::move(request));
    } catch (...) {
        static WarningPace pace;
        const std::exception_ptr thrown = std::current_exception();
        pace.warnIfAble(
            [&] { return QString("a request from %1 failed: %2").arg(client.c_str(), HttpServer::failure(thrown)); });
    }
    try {
        return handler.failed();
    } catch (...) {
        return bare(500);
    }
}
} // namespace

HttpConnection::HttpConnection(HttpServer& server, asio::ip::tcp::socket socket, asio::ip::address peer)
    : m_server(server), m_stream(std::move(socket)), m_peer(std::move(peer)), m_client(ClientAddress::key(m_peer)),
      m_reader(*this, *this, m_stream, server.network(), server.limits().idle, server.limits().head),
      m_room(*this, *this, server.memory(), server.network()),
      m_turn(*this, *this, server.turns(), server.network(), server.limits().idle, server.limits().largeWait),
      m_watch(*this, *this, m_stream), m_writer(*this, *this, m_stream, server)
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

void HttpConnection::failed(const std::exception_ptr& thrown) noexcept
{
    // Closed first: the warning may want the memory that just ran out.
    close();
    static WarningPace pace;
    pace.warnIfAble([&] {
        return QString("the connection of %1 failed on the network thread: %2; closed it")
            .arg(m_client.c_str(), HttpServer::failure(thrown));
    });
}

void HttpConnection::setState(State state)
{
    const auto served = [](State in) {
        return in == State::Head || in == State::Arriving || in == State::Body || in == State::Answering;
    };
    const bool wasServed = served(m_state);
    m_state = state;
    if (!served(state))
        m_server.table().unread(this);
    else if (!wasServed)
        m_server.table().progressed(this);
}

void HttpConnection::requestRead(qint64 bytes)
{
    progressed(bytes);
    if (m_state == State::Body)
        m_turn.counted(bytes);
}

bool HttpConnection::headRoomWanted(qint64 bytes, Clock::time_point deadline)
{
    if (m_room.claim(bytes, deadline))
        return true;
    awaitRoom(State::HeadRoom);
    return false;
}

void HttpConnection::headUnreadable()
{
    answer(bare(400));
}

void HttpConnection::bodyRead()
{
    if (m_turn.holds())
        m_turn.bodyWhole();
    queue();
}

void HttpConnection::readingEnded()
{
    close();
}

void HttpConnection::roomMade(qint64 bytes)
{
    if (m_state == State::Room)
        return startBody();
    if (m_state != State::HeadRoom)
        return;
    setState(State::Head);
    m_watch.stop();
    m_reader.roomMade(bytes);
}

void HttpConnection::roomWaitEnded()
{
    answerBusy();
}

void HttpConnection::roomTaken() noexcept
{
    try {
        refuse();
    } catch (...) {
        failed(std::current_exception());
    }
}

void HttpConnection::bodyNeverCame()
{
    m_reader.silent();
    close();
}

void HttpConnection::turnTaken()
{
    // Its body is its turn's memory; what its head took is not taken from it for another.
    m_room.pin();
    startBody();
}

void HttpConnection::turnRefused()
{
    answerBusy();
}

void HttpConnection::clientHungUp()
{
    close();
    qCDebug(lcTurns).noquote() << QString("the client of a request from %1 hung up: %2")
                                      .arg(m_client.c_str(),
                                           m_queued ? "its worker stops at its next page" : "its places are free");
}

void HttpConnection::bodyBytesCame()
{
    if (m_state == State::Arriving)
        lineUp();
}

void HttpConnection::answerTaken()
{
    progressed(0);
}

void HttpConnection::answerEnded()
{
    close();
}

void HttpConnection::headRead()
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
        return answerBusy();
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
    // A large body waits for its turn before it is read.
    if (m_length > TransferRules::largeBody)
        return awaitBody();
    // The room the head took is the body's first: the head's buffer goes once its last bytes are in the body.
    if (m_room.claim(std::max<qint64>(0, m_length - m_room.held()), Clock::now() + m_server.limits().largeWait))
        return startBody();
    awaitRoom(State::Room);
}

void HttpConnection::awaitRoom(State state)
{
    setState(state);
    // Unread meanwhile: a client that hangs up while its claim waits gives its place in the line back at once.
    m_watch.watch(ClientWatch::Mode::Unread);
}

void HttpConnection::awaitBody()
{
    setState(State::Arriving);
    if (m_reader.holdsBytes())
        return lineUp();
    const Clock::time_point by = m_turn.awaitBytes();
    m_reader.continueThen(by, [this] { m_watch.watch(ClientWatch::Mode::FirstBytes); });
}

void HttpConnection::lineUp()
{
    setState(State::InLine);
    // Unread while it waits, it is never without progress meanwhile.
    m_room.pause();
    m_turn.enterLine();
    if (m_state == State::InLine)
        m_watch.watch(ClientWatch::Mode::Unread);
}

void HttpConnection::startBody()
{
    setState(State::Body);
    m_watch.stop();
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 has its room").arg(m_client.c_str());
    if (m_turn.holds())
        m_turn.watchPace();
    m_reader.readBody(m_length);
}

void HttpConnection::queue()
{
    setState(State::Working);
    // The request's memory is the worker's now, and is not taken from it for another.
    m_room.pin();
    m_request.body = m_reader.takeBody();
    m_reader.release();
    m_gone = std::make_shared<std::atomic<bool>>(false);
    m_request.gone = m_gone;
    const WorkQueue::Cost cost =
        m_server.handler().expensive(m_request) ? WorkQueue::Cost::Expensive : WorkQueue::Cost::Cheap;
    m_answerStep = std::make_unique<StepMemory>();
    // Runs on a worker. Whatever it meets, the worker goes on to the next request: a failure costs this one alone.
    auto work = [self = shared_from_this(), client = m_client,
                 request = std::move(m_request)](WorkQueue::Cost line) mutable {
        request.cheap = line == WorkQueue::Cost::Cheap;
        HttpHandler::Answer answer = answerOf(self->m_server.handler(), request, client);
        if (answer.expensive)
            return false;
        self->handBack(std::move(answer));
        return true;
    };
    if (const std::optional<quint64> ticket = m_server.queue().add(m_client, cost, std::move(work))) {
        m_queued = true;
        m_ticket = *ticket;
        qCDebug(lcTurns).noquote() << QString("a request from %1 waits for a worker").arg(m_client.c_str());
        return m_watch.watch(ClientWatch::Mode::AfterRequest);
    }
    static WarningPace pace;
    pace.warn(QString("requests from %1 that wait for a worker are at their cap of %2: refused another")
                  .arg(m_client.c_str())
                  .arg(m_server.limits().waitingPerAddress));
    answerBusy();
}

void HttpConnection::handBack(HttpHandler::Answer answer) noexcept
{
    // The step takes the memory made for it before the work began, which it fits, as the build checks: posting it
    // wants none of its own, so that a worker that finds none left still hands its answer back, and the request's turn
    // and memory go back with it.
    asio::post(m_server.network(),
               asio::bind_allocator(m_answerStep->allocator(), guarded([this, answer = std::move(answer)]() mutable {
                                        answered(std::move(answer));
                                    })));
}

void HttpConnection::answered(HttpHandler::Answer answer)
{
    m_queued = false;
    this->answer(std::move(answer));
}

void HttpConnection::answer(HttpHandler::Answer answer)
{
    // The turn and the memory end with the work: what remains is writing the answer, which costs no more than the
    // answer.
    releaseRequest();
    if (m_state == State::Closed)
        return;
    // A read or a watch still pending for the request ends: the answer goes out now.
    m_reader.stop();
    m_watch.stop();
    m_stream.cancel();
    setState(State::Answering);
    // From here on the client's taking of the answer is its progress.
    progressed(0);
    const std::optional<qint64> unread =
        m_reader.wholeRead() ? std::nullopt : std::optional<qint64>(m_reader.declared());
    m_reader.release();
    m_request = HttpHandler::Request();
    m_writer.write(std::move(answer), m_reader.version(), unread);
}

void HttpConnection::answerBusy()
{
    answer(m_server.handler().busy());
}

void HttpConnection::refuse()
{
    // Nothing is read from here on, and the request waits in no line: a read or a wait still pending ends, and leaves
    // the connection to the answer.
    m_turn.release();
    m_reader.stop();
    m_watch.stop();
    setState(State::Answering);
    m_stream.cancel();
    asio::post(m_server.network(), guarded([this] { answerBusy(); }));
}

void HttpConnection::progressed(qint64 bytes)
{
    m_server.table().progressed(this);
    m_room.progressed(bytes);
}

void HttpConnection::releaseRequest() noexcept
{
    m_turn.release();
    m_room.release();
}

void HttpConnection::close() noexcept
{
    if (m_state == State::Closed)
        return;
    // The request's work, withdrawn below, may hold the last reference to the connection.
    const std::shared_ptr<HttpConnection> keep = weak_from_this().lock();
    m_state = State::Closed;
    m_reader.stop();
    m_watch.stop();
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
