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

#include <linux/sockios.h>
#include <sys/ioctl.h>

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
// After an answer given without reading the body, what the client still sends is read and dropped for a moment, so
// that it sees the answer: closing with unread data would reset the connection.
const seconds drainTime(1);
const qint64 maxDrained = 64 * 1024 * 1024;
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

} // namespace

HttpConnection::HttpConnection(HttpServer& server, asio::ip::tcp::socket socket, asio::ip::address peer)
    : m_server(server), m_stream(std::move(socket)), m_buffer(maxHead), m_timer(server.network()),
      m_peer(std::move(peer))
{
    m_parser.header_limit(std::uint32_t(maxHead));
    // Each path's limit is checked against the declared length, before a byte of the body is read.
    m_parser.body_limit(boost::none);
}

HttpConnection::~HttpConnection()
{
    close();
}

void HttpConnection::start()
{
    m_stream.expires_after(m_server.limits().idle);
    m_stream.async_read_some(m_buffer.prepare(firstRead),
                             [self = shared_from_this()](const beast::error_code& error, std::size_t read) {
                                 if (error)
                                     return self->close();
                                 self->m_buffer.commit(read);
                                 self->progressed();
                                 // From its first byte on, the head has its own time, however slowly its bytes come.
                                 self->readSome(Clock::now() + self->m_server.limits().head);
                             });
}

void HttpConnection::readSome(Clock::time_point deadline)
{
    // What has come is parsed first; every byte read counts as progress, a head's too, though it is parsed only once
    // whole.
    while (m_buffer.size() > 0 && !(m_state == State::Head ? m_parser.is_header_done() : m_parser.is_done())) {
        beast::error_code error;
        m_buffer.consume(m_parser.put(m_buffer.data(), error));
        if (error == http::error::need_more)
            break;
        if (error)
            return m_state == State::Head ? answer(bare(400)) : close();
    }
    if (m_state == State::Head && m_parser.is_header_done())
        return checkHead();
    if (m_state == State::Body && m_parser.is_done())
        return queue();
    // A head that fills the whole buffer unparsed is too large.
    const std::size_t room = m_buffer.max_size() - m_buffer.size();
    if (room == 0)
        return answer(bare(400));
    m_stream.expires_at(deadline);
    m_stream.async_read_some(m_buffer.prepare(room),
                             [self = shared_from_this(), deadline](const beast::error_code& error, std::size_t read) {
                                 if (error)
                                     return self->close();
                                 self->m_buffer.commit(read);
                                 self->progressed();
                                 self->readSome(deadline);
                             });
}

void HttpConnection::checkHead()
{
    const auto& request = m_parser.get();
    // A proxy's connection counts under the client it speaks for, now that the head names it.
    m_client = m_server.clients().of(m_peer, request);
    if (m_server.clients().trusts(m_peer) && !m_server.table().claim(this, m_client)) {
        static WarningPace pace;
        pace.warn(QString("address %1 holds its %2 connections: refused another through the proxy")
                      .arg(m_client.c_str())
                      .arg(m_server.limits().perAddress));
        return answer(m_server.handler().busy());
    }
    const http::verb method = request.method();
    if (method != http::verb::get && method != http::verb::post)
        return answer(bare(405));
    // The program always sends a length; a body in chunks would have to be read before its size is known.
    if (m_parser.chunked() || (method == http::verb::post && !m_parser.content_length()))
        return answer(bare(411));
    if (method == http::verb::get)
        return readBody();
    const std::string path(request.target().substr(0, request.target().find('?')));
    const std::optional<qint64> limit = m_server.handler().bodyLimit(path);
    if (!limit)
        return answer(bare(404));
    // Compared as sent: a length that no signed number holds is over every limit, never below one.
    const std::uint64_t length = *m_parser.content_length();
    if (length > std::uint64_t(*limit))
        return answer(m_server.handler().tooLarge());
    if (length <= largeBody)
        return readBody();
    m_state = State::InLine;
    m_timer.expires_after(m_server.limits().largeWait);
    m_timer.async_wait([self = shared_from_this()](const beast::error_code&) {
        if (self->m_state != State::InLine)
            return;
        static WarningPace pace;
        pace.warn(QString("a large request from %1 waited its turn in vain").arg(self->m_client.c_str()));
        self->answer(self->m_server.handler().busy());
    });
    m_server.turns().await(shared_from_this());
}

bool HttpConnection::takeTurn()
{
    if (m_state != State::InLine)
        return false;
    m_holdsTurn = true;
    m_timer.cancel();
    qCDebug(lcTurns).noquote() << QString("a large request from %1 took its turn").arg(m_client.c_str());
    readBody();
    return true;
}

void HttpConnection::readBody()
{
    m_state = State::Body;
    const auto& request = m_parser.get();
    // A body sent with a GET is not read: the answer does not depend on it.
    if (request.method() != http::verb::post || m_parser.is_done())
        return queue();
    // Within its path's limit, which is a signed number: checked with the head.
    const qint64 length = qint64(*m_parser.content_length());
    // Room for the whole body at once: memory not yet written to costs nothing.
    m_body = QByteArray(length, Qt::Uninitialized);
    m_parser.get().body() = beast::span<char>(m_body.data(), std::size_t(length));
    const Clock::time_point deadline = Clock::now() + transferTime(length);
    if (!beast::iequals(request[http::field::expect], "100-continue"))
        return readSome(deadline);
    m_continue = http::response<http::empty_body>(http::status::continue_, request.version());
    m_stream.expires_at(deadline);
    http::async_write(m_stream, m_continue,
                      [self = shared_from_this(), deadline](const beast::error_code& error, std::size_t) {
                          if (error)
                              return self->close();
                          self->readSome(deadline);
                      });
}

void HttpConnection::queue()
{
    m_state = State::Working;
    m_server.table().working(this);
    const auto& head = m_parser.get();
    const std::string target(head.target());
    const std::size_t mark = target.find('?');
    HttpHandler::Request request{std::string(head.method_string()),
                                 target.substr(0, mark),
                                 mark == std::string::npos ? std::string() : target.substr(mark + 1),
                                 m_client,
                                 std::string(head[http::field::host]),
                                 std::string(head[http::field::origin]),
                                 std::exchange(m_body, QByteArray())};
    auto work = [self = shared_from_this(), request = std::move(request)]() mutable {
        HttpHandler::Answer answer = self->m_server.handler().answer(std::move(request));
        asio::post(self->m_server.network(),
                   [self, answer = std::move(answer)]() mutable { self->answer(std::move(answer)); });
    };
    if (m_server.queue().add(m_client, std::move(work)))
        return;
    static WarningPace pace;
    pace.warn(QString("requests from %1 that wait for a worker are at their cap of %2: refused another")
                  .arg(m_client.c_str())
                  .arg(m_server.limits().waitingPerAddress));
    answer(m_server.handler().busy());
}

void HttpConnection::answer(HttpHandler::Answer answer)
{
    if (m_state == State::Closed)
        return;
    m_state = State::Answering;
    // From here on the client's taking of the answer is its progress.
    progressed();
    // The turn ends with the work: what remains is writing the answer, which costs no more than the answer.
    if (std::exchange(m_holdsTurn, false))
        m_server.turns().release();
    http::response<http::empty_body> head(http::int_to_status(unsigned(answer.status)),
                                          m_parser.is_header_done() ? m_parser.get().version() : 11);
    if (answer.body.size() > 0)
        head.set(http::field::content_type, answer.type);
    head.content_length(std::uint64_t(answer.body.size()));
    // One request per connection: a connection kept for a next request would only wait idle meanwhile.
    head.keep_alive(false);
    std::ostringstream text;
    text << head.base();
    m_answerHead = text.str();
    m_answer = std::move(answer.body);
    m_answerDeadline = Clock::now() + transferTime(m_answer.size());
    m_lastTaken = Clock::now();
    watchStall();
    writeSome();
}

void HttpConnection::writeSome()
{
    const qint64 headSize = qint64(m_answerHead.size());
    if (m_sent >= headSize + m_answer.size())
        return finish();
    // What is left of the head goes with the first piece of the body, in one write.
    const QByteArrayView head = QByteArrayView(m_answerHead).sliced(std::min(m_sent, headSize));
    QByteArrayView piece;
    if (const qint64 offset = std::max<qint64>(m_sent - headSize, 0);
        m_pieceOffset >= 0 && offset >= m_pieceOffset && offset < m_pieceOffset + m_piece.size()) {
        // What the client did not take of a piece read from a file is sent from memory.
        piece = QByteArrayView(m_piece).sliced(offset - m_pieceOffset);
    } else {
        if (!m_answer.read(offset, AnswerText::pieceSize, m_piece, piece)) {
            static WarningPace pace;
            pace.warn(
                QString("an answer's file could not be read again: ended the connection of %1").arg(m_client.c_str()));
            return close();
        }
        m_pieceOffset = piece.data() == m_piece.constData() ? offset : -1;
    }
    m_stream.expires_at(m_answerDeadline);
    const std::array<asio::const_buffer, 2> pieces{asio::buffer(head.data(), std::size_t(head.size())),
                                                   asio::buffer(piece.data(), std::size_t(piece.size()))};
    m_stream.async_write_some(pieces, [self = shared_from_this()](const beast::error_code& error, std::size_t written) {
        if (error)
            return self->close();
        self->m_sent += qint64(written);
        self->m_lastTaken = Clock::now();
        self->progressed();
        self->writeSome();
    });
}

void HttpConnection::watchStall()
{
    m_timer.expires_after(std::min<Clock::duration>(stallWatch, m_server.limits().writeStall / 4));
    m_timer.async_wait([self = shared_from_this()](const beast::error_code& error) {
        if (error || self->m_state != State::Answering)
            return;
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
    });
}

void HttpConnection::finish()
{
    m_answer = AnswerText();
    if (m_parser.is_done())
        return close();
    beast::error_code ignored;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    m_stream.expires_after(drainTime);
    drain(0);
}

void HttpConnection::drain(qint64 drained)
{
    m_buffer.consume(m_buffer.size());
    m_stream.async_read_some(m_buffer.prepare(maxHead),
                             [self = shared_from_this(), drained](const beast::error_code& error, std::size_t read) {
                                 if (error || drained + qint64(read) >= maxDrained)
                                     return self->close();
                                 self->drain(drained + qint64(read));
                             });
}

void HttpConnection::progressed()
{
    m_server.table().progressed(this);
}

void HttpConnection::close()
{
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_timer.cancel();
    m_stream.close();
    m_server.table().leave(this);
    if (std::exchange(m_holdsTurn, false))
        m_server.turns().release();
    // What the connection held goes at once, not when its last handler has run.
    m_body = QByteArray();
    m_answer = AnswerText();
}
