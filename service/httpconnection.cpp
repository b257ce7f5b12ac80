#include "httpconnection.h"

#include "clientaddress.h"
#include "httpserver.h"
#include "servicelog.h"
#include "warningpace.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <array>
#include <sstream>
#include <utility>

#include <cerrno>
#include <exception>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using std::chrono::seconds;

// A request head larger than this is refused; the body may be far larger.
const std::size_t maxHead = 64 * 1024;
// A body larger than this waits for its turn before it is read.
const std::uint64_t largeBody = 1024 * 1024;
// A body or an answer gets this long at least, and more when its length takes longer at the slowest pace served.
const seconds minTransfer(30);
const qint64 slowestPace = 64 * 1024;
// A large body that comes slower than this over the window gives its turn to one waiting.
const seconds paceWindow(10);
const qint64 floorPace = slowestPace;
// After an answer given without reading the body, what the client still sends is read and dropped, so that it sees
// the answer: closing with unread data would reset the connection, and a client that reads only once it has sent its
// whole body would lose the answer. The rest of a declared body gets the time its length takes at the slowest pace
// served, with pauses no longer than this; what has no length, this long.
const seconds drainTime(5);
// More than the largest body any path takes, with its head.
const qint64 maxDrained = 80 * 1024 * 1024;
const std::size_t firstRead = 512;
// How often, at most, an answer's progress is looked at while its client takes nothing: a quarter of the stall time.
const seconds stallWatch(5);

seconds transferTime(qint64 bytes)
{
    return std::max(minTransfer, seconds(bytes / slowestPace));
}

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

template <typename Step> auto HttpConnection::guarded(Step step)
{
    return [self = shared_from_this(), step = std::move(step)](auto&&... arguments) mutable {
        try {
            step(std::forward<decltype(arguments)>(arguments)...);
        } catch (...) {
            static WarningPace pace;
            pace.warn(QString("the connection of %1 failed on the network thread: %2; closed it")
                          .arg(self->m_client.c_str(), HttpServer::failure(std::current_exception())));
            self->close();
        }
    };
}

HttpConnection::HttpConnection(HttpServer& server, asio::ip::tcp::socket socket, asio::ip::address peer)
    : m_server(server), m_stream(std::move(socket)), m_buffer(maxHead), m_timer(server.network()),
      m_peer(std::move(peer)), m_client(ClientAddress::key(m_peer))
{
    m_parser.emplace();
    m_parser->header_limit(std::uint32_t(maxHead));
    // Each path's limit is checked against the declared length, before a byte of the body is read.
    m_parser->body_limit(boost::none);
}

HttpConnection::~HttpConnection()
{
    close();
}

void HttpConnection::start()
{
    m_deadline = Clock::now() + m_server.limits().idle;
    readHead();
}

void HttpConnection::readHead()
{
    // The head is parsed once whole; until then every byte of it read counts as progress all the same.
    while (m_buffer.size() > 0 && !m_parser->is_header_done()) {
        beast::error_code error;
        m_buffer.consume(m_parser->put(m_buffer.data(), error));
        if (error == http::error::need_more)
            break;
        if (error)
            return answer(bare(400));
    }
    if (m_parser->is_header_done())
        return checkHead();
    if (const std::size_t capacity = m_buffer.capacity(); m_buffer.size() == capacity) {
        // A head that fills the largest buffer unparsed is too large.
        if (capacity == maxHead)
            return answer(bare(400));
        const std::size_t grown = capacity == 0 ? firstRead : std::min(maxHead, 2 * capacity);
        if (!claim(qint64(grown - capacity), m_deadline))
            return;
        growHead(qint64(grown - capacity));
    }
    m_stream.expires_at(m_deadline);
    auto received = [self = shared_from_this()](const beast::error_code& error, std::size_t read) {
        // A read done just before an eviction closed the connection is dropped with it.
        if (error || self->m_state == State::Closed)
            return self->close();
        self->m_buffer.commit(read);
        // From its first byte on, the head has its own time, however slowly its bytes come.
        if (std::exchange(self->m_state, State::Head) == State::Idle)
            self->m_deadline = Clock::now() + self->m_server.limits().head;
        self->progressed();
        self->readHead();
    };
    m_stream.async_read_some(m_buffer.prepare(m_buffer.capacity() - m_buffer.size()), guarded(std::move(received)));
}

bool HttpConnection::claim(qint64 bytes, Clock::time_point deadline)
{
    if (m_server.memory().claim(this, m_client, bytes)) {
        m_held += bytes;
        return true;
    }
    m_wanted = bytes;
    m_waitDeadline = deadline;
    static WarningPace pace;
    pace.warn(QString("memory for requests is all taken (%1 MB): a request from %2 waits for room to be read")
                  .arg(m_server.memory().total() / (1024 * 1024))
                  .arg(m_client.c_str()));
    awaitRoom(m_server.memory().serveWaiting());
    watchClient();
    return false;
}

void HttpConnection::awaitRoom(std::optional<Clock::time_point> stall)
{
    m_timer.expires_at(stall ? std::min(*stall, m_waitDeadline) : m_waitDeadline);
    m_timer.async_wait(guarded([self = shared_from_this()](const beast::error_code& error) {
        if (error || self->m_wanted == 0 || self->m_state == State::Closed)
            return;
        if (Clock::now() < self->m_waitDeadline) {
            const std::optional<Clock::time_point> next = self->m_server.memory().serveWaiting();
            if (self->m_wanted > 0)
                self->awaitRoom(next);
            return;
        }
        if (self->m_state != State::Room)
            return self->close();
        static WarningPace pace;
        pace.warn(QString("a request from %1 waited for room in vain").arg(self->m_client.c_str()));
        self->answer(self->m_server.handler().busy());
    }));
}

void HttpConnection::roomMade()
{
    auto grown = [self = shared_from_this(), bytes = std::exchange(m_wanted, 0)] {
        if (self->m_state == State::Closed)
            return;
        self->m_timer.cancel();
        self->m_held += bytes;
        if (self->m_state == State::Room)
            return self->startBody();
        self->growHead(bytes);
        self->readHead();
    };
    asio::post(m_server.network(), guarded(std::move(grown)));
}

void HttpConnection::evict()
{
    static WarningPace pace;
    pace.warn(QString("memory for requests is all taken: closed a connection of %1 that sent nothing lately or held "
                      "far past its share")
                  .arg(m_client.c_str()));
    close();
}

void HttpConnection::growHead(qint64 bytes)
{
    // A buffer at least twice its content grows to exactly the size asked for.
    m_buffer.prepare(m_buffer.capacity() + std::size_t(bytes) - m_buffer.size());
}

void HttpConnection::freeHeadBuffer()
{
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

void HttpConnection::checkHead()
{
    const auto& head = m_parser->get();
    // A proxy's connection counts under the client it speaks for, now that the head names it.
    m_client = m_server.clients().of(m_peer, head);
    const std::string target(head.target());
    const std::size_t mark = target.find('?');
    m_request.method = std::string(head.method_string());
    m_request.path = target.substr(0, mark);
    m_request.query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    m_request.peer = m_client;
    m_request.host = std::string(head[http::field::host]);
    m_request.origin = std::string(head[http::field::origin]);
    m_version = head.version();
    m_expectContinue = beast::iequals(head[http::field::expect], "100-continue");
    const http::verb method = head.method();
    const bool chunked = m_parser->chunked();
    const boost::optional<std::uint64_t> length = m_parser->content_length();
    m_declared = length ? qint64(std::min(*length, std::uint64_t(maxDrained))) : 0;
    m_requestRead = m_parser->is_done();
    // The parsed head goes: what the request needs of it is kept above, within the memory its reading claimed.
    m_parser.reset();

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
        return awaitBytes();
    m_state = State::Room;
    // The room the head took is the body's first: the head's buffer goes once its last bytes are in the body.
    if (claim(std::max<qint64>(0, m_length - m_held), Clock::now() + m_server.limits().largeWait))
        startBody();
}

void HttpConnection::awaitBytes()
{
    m_state = State::Arriving;
    if (m_buffer.size() > 0)
        return enterLine();
    m_deadline = Clock::now() + m_server.limits().idle;
    m_timer.expires_at(m_deadline);
    m_timer.async_wait(guarded([self = shared_from_this()](const beast::error_code& error) {
        if (error || self->m_state != State::Arriving)
            return;
        self->silent();
        self->close();
    }));
    continueThen(&HttpConnection::watchClient);
}

void HttpConnection::enterLine()
{
    m_state = State::InLine;
    m_timer.expires_after(m_server.limits().largeWait);
    m_timer.async_wait(guarded([self = shared_from_this()](const beast::error_code& error) {
        if (error || self->m_state != State::InLine)
            return;
        static WarningPace pace;
        pace.warn(QString("a large request from %1 waited its turn in vain").arg(self->m_client.c_str()));
        self->answer(self->m_server.handler().busy());
    }));
    m_server.turns().await(this);
    if (m_state == State::InLine)
        watchClient();
}

void HttpConnection::takeTurn()
{
    m_holdsTurn = true;
    // Its body is its turn's memory; what its head took is not taken from it for another.
    m_server.memory().pin(this);
    m_timer.cancel();
    qCDebug(lcTurns).noquote() << QString("a large request from %1 took its turn").arg(m_client.c_str());
    startBody();
}

void HttpConnection::startBody()
{
    m_state = State::Body;
    m_body = RequestBody(m_length);
    // What came with the head is the body's first bytes; anything past the body's length is no part of the request.
    m_body.received(qint64(
        asio::buffer_copy(asio::buffer(m_body.room(), std::size_t(m_body.left())), m_buffer.data())));
    freeHeadBuffer();
    m_deadline = Clock::now() + transferTime(m_length);
    if (m_holdsTurn)
        watchPace();
    continueThen(&HttpConnection::readBody);
}

void HttpConnection::readBody()
{
    if (m_body.whole()) {
        m_requestRead = true;
        return queue();
    }
    // A body that sends nothing for the idle time ends, whatever time its length gives it.
    const Clock::time_point silentBy = Clock::now() + m_server.limits().idle;
    m_stream.expires_at(std::min(m_deadline, silentBy));
    auto received = [self = shared_from_this(), silentBy](const beast::error_code& error, std::size_t read) {
        // A read the answer cut short is left to the answer.
        if (self->m_state != State::Body)
            return;
        if (error) {
            if (error == beast::error::timeout && Clock::now() >= silentBy)
                self->silent();
            return self->close();
        }
        self->m_body.received(qint64(read));
        self->progressed();
        self->readBody();
    };
    m_stream.async_read_some(asio::buffer(m_body.room(), std::size_t(m_body.left())), guarded(std::move(received)));
}

void HttpConnection::continueThen(void (HttpConnection::*next)())
{
    if (!std::exchange(m_expectContinue, false))
        return (this->*next)();
    m_continue = http::response<http::empty_body>(http::status::continue_, m_version);
    m_stream.expires_at(m_deadline);
    auto continued = [self = shared_from_this(), next](const beast::error_code& error, std::size_t) {
        if (error || self->m_state == State::Closed)
            return self->close();
        ((*self).*next)();
    };
    http::async_write(m_stream, m_continue, guarded(std::move(continued)));
}

void HttpConnection::watchPace()
{
    const qint64 left = m_body.left();
    m_timer.expires_after(paceWindow);
    m_timer.async_wait(guarded([self = shared_from_this(), left](const beast::error_code& error) {
        if (error || self->m_state != State::Body)
            return;
        if (left - self->m_body.left() < floorPace * paceWindow.count() && self->m_server.turns().anyWaiting()) {
            qCDebug(lcTurns).noquote()
                << QString("a large request from %1 sent under %2 KB/s: its turn goes to one waiting")
                       .arg(self->m_client.c_str())
                       .arg(floorPace / 1024);
            return self->answer(self->m_server.handler().busy());
        }
        self->watchPace();
    }));
}

void HttpConnection::silent()
{
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 sent nothing for %2 s: closed")
                                      .arg(m_client.c_str())
                                      .arg(m_server.limits().idle.count());
}

void HttpConnection::queue()
{
    m_state = State::Working;
    m_server.table().working(this);
    // The request's memory is the worker's now, and is not taken from it for another.
    m_server.memory().pin(this);
    freeHeadBuffer();
    m_request.body = m_body.take();
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
        return watchClient();
    }
    static WarningPace pace;
    pace.warn(QString("requests from %1 that wait for a worker are at their cap of %2: refused another")
                  .arg(m_client.c_str())
                  .arg(m_server.limits().waitingPerAddress));
    answer(m_server.handler().busy());
}

void HttpConnection::watchClient()
{
    // What came before the watch began is looked at now; what comes after wakes it: bytes, or the client's FIN or
    // reset, seen even behind bytes not read yet.
    if (m_watching || !clientStays())
        return;
    m_watching = true;
    m_stream.socket().async_wait(
        asio::socket_base::wait_read, guarded([self = shared_from_this()](const beast::error_code& error) {
            self->m_watching = false;
            if (error || !self->watched())
                return;
            if (self->m_state == State::Working) {
                // What a client sends after its request is no close; past the drain limit it is left unread.
                std::array<char, 4096> scratch;
                self->m_dropped += std::max<qint64>(
                    recv(self->m_stream.socket().native_handle(), scratch.data(), scratch.size(), MSG_DONTWAIT), 0);
                if (self->m_dropped >= maxDrained)
                    return;
            }
            // Bytes of a request whose reading waits stay unread; the watch goes on for what comes behind them.
            self->watchClient();
        }));
}

bool HttpConnection::clientStays()
{
    if (hungUp()) {
        close();
        qCDebug(lcTurns).noquote() << QString("the client of a request from %1 hung up: %2")
                                          .arg(m_client.c_str(), m_queued ? "its worker stops at its next page"
                                                                          : "its places are free");
        return false;
    }
    beast::error_code ignored;
    if (m_state == State::Arriving && m_stream.socket().available(ignored) > 0) {
        enterLine();
        return false;
    }
    return true;
}

bool HttpConnection::watched() const
{
    return m_wanted > 0 || m_state == State::Arriving || m_state == State::InLine || m_state == State::Working;
}

bool HttpConnection::hungUp()
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(m_stream.socket().native_handle(), IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return true;
    return info.tcpi_state != TCP_ESTABLISHED;
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
    m_wanted = 0;
    m_state = State::Answering;
    // From here on the client's taking of the answer is its progress.
    progressed();
    m_parser.reset();
    freeHeadBuffer();
    m_body = RequestBody();
    m_request = HttpHandler::Request();
    http::response<http::empty_body> head(http::int_to_status(unsigned(answer.status)), m_version);
    if (answer.body.size() > 0)
        head.set(http::field::content_type, answer.type);
    head.content_length(std::uint64_t(answer.body.size()));
    // One request per connection: a connection kept for a next request would only wait idle meanwhile.
    head.keep_alive(false);
    std::ostringstream text;
    text << head.base();
    m_answerHead = text.str();
    m_answer = std::move(answer.body);
    // An answer held in memory while its client takes it counts against the room for all such answers; without
    // room it waits for its client in a file, as large answers do.
    if (m_server.holdAnswer(m_answer.memory())) {
        m_answerMemory = m_answer.memory();
    } else if (!m_answer.moveToFile(m_server.spool())) {
        static WarningPace pace;
        pace.warn(QString("answers waiting for their clients take all the room they may in memory and on disk: ended "
                          "the connection of %1")
                      .arg(m_client.c_str()));
        return close();
    }
    m_answerDeadline = Clock::now() + transferTime(m_answer.size());
    m_lastTaken = Clock::now();
    beast::error_code ignored;
    // Written as far as the system takes it, then again once it takes more.
    m_stream.socket().non_blocking(true, ignored);
    watchStall();
    writeSome();
}

void HttpConnection::writeSome()
{
    for (;;) {
        const qint64 headSize = qint64(m_answerHead.size());
        if (m_sent >= headSize + m_answer.size())
            return finish();
        // What is left of the head goes with the first piece of the body, in one write.
        const QByteArrayView head = QByteArrayView(m_answerHead).sliced(std::min(m_sent, headSize));
        const qint64 offset = std::max<qint64>(m_sent - headSize, 0);
        QByteArrayView piece;
        // A piece read from a file goes into the buffer all connections share: what the client does not take of it
        // now is read again later.
        if (offset < m_answer.size() && !m_answer.read(offset, AnswerText::pieceSize, m_server.pieceBuffer(), piece)) {
            static WarningPace pace;
            pace.warn(
                QString("an answer's file could not be read again: ended the connection of %1").arg(m_client.c_str()));
            return close();
        }
        const std::array<asio::const_buffer, 2> pieces{asio::buffer(head.data(), std::size_t(head.size())),
                                                       asio::buffer(piece.data(), std::size_t(piece.size()))};
        beast::error_code error;
        const std::size_t written = m_stream.socket().write_some(pieces, error);
        if (error == asio::error::would_block || error == asio::error::try_again)
            break;
        if (error)
            return close();
        m_sent += qint64(written);
        m_lastTaken = Clock::now();
        progressed();
        if (qint64(written) < head.size() + piece.size())
            break;
    }
    m_stream.socket().async_wait(asio::ip::tcp::socket::wait_write,
                                 guarded([self = shared_from_this()](const beast::error_code& error) {
                                     if (error || self->m_state != State::Answering)
                                         return self->close();
                                     self->writeSome();
                                 }));
}

void HttpConnection::watchStall()
{
    const Clock::time_point watched =
        Clock::now() + std::min<Clock::duration>(stallWatch, m_server.limits().writeStall / 4);
    m_timer.expires_at(std::min(watched, m_answerDeadline));
    m_timer.async_wait(guarded([self = shared_from_this()](const beast::error_code& error) {
        if (error || self->m_state != State::Answering)
            return;
        if (Clock::now() >= self->m_answerDeadline)
            return self->close();
        // A client that reads slowly empties what the system holds for it long before there is room for more.
        int unacknowledged = -1;
        if (ioctl(self->m_stream.socket().native_handle(), SIOCOUTQ, &unacknowledged) != 0)
            unacknowledged = -1;
        if (unacknowledged >= 0 && unacknowledged < self->m_unacknowledged) {
            self->m_lastTaken = Clock::now();
            self->progressed();
        }
        self->m_unacknowledged = unacknowledged;
        if (Clock::now() - self->m_lastTaken >= self->m_server.limits().writeStall)
            return self->close();
        self->watchStall();
    }));
}

void HttpConnection::finish()
{
    dropAnswer();
    if (m_requestRead)
        return close();
    drainUnread();
}

void HttpConnection::drainUnread()
{
    beast::error_code ignored;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    drain(0, Clock::now() + (m_declared > 0 ? transferTime(m_declared) : drainTime));
}

void HttpConnection::dropAnswer()
{
    m_answer = AnswerText();
    m_server.releaseAnswer(std::exchange(m_answerMemory, 0));
}

void HttpConnection::drain(qint64 drained, Clock::time_point end)
{
    m_stream.expires_at(std::min(end, Clock::now() + drainTime));
    // What is read here is dropped: one buffer serves every connection.
    auto dropped = [self = shared_from_this(), drained, end](const beast::error_code& error, std::size_t read) {
        if (error || drained + qint64(read) >= maxDrained)
            return self->close();
        self->drain(drained + qint64(read), end);
    };
    m_stream.async_read_some(m_server.drainBuffer(), guarded(std::move(dropped)));
}

void HttpConnection::progressed()
{
    m_server.table().progressed(this);
    m_server.memory().progressed(this);
}

void HttpConnection::releaseRequest()
{
    m_server.turns().leave(this);
    if (std::exchange(m_holdsTurn, false))
        m_server.turns().release();
    m_server.memory().release(this);
    m_held = 0;
}

void HttpConnection::close()
{
    if (m_state == State::Closed)
        return;
    // The request's work, withdrawn below, may hold the last reference to the connection.
    const std::shared_ptr<HttpConnection> keep = weak_from_this().lock();
    m_state = State::Closed;
    m_timer.cancel();
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
    m_wanted = 0;
    m_parser.reset();
    freeHeadBuffer();
    m_body = RequestBody();
    m_request = HttpHandler::Request();
    dropAnswer();
    m_server.closed();
}
