#include "httpconnection.h"

#include "httpserver.h"
#include "warningpace.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <utility>

namespace {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using std::chrono::seconds;

// A request head larger than this is refused; the body may be far larger.
const std::size_t maxHead = 64 * 1024;
// A body larger than this waits for its turn before it is read.
const qint64 largeBody = 1024 * 1024;
// A body or an answer gets this long at least, and more when its length takes longer at the slowest pace served.
const seconds minTransfer(30);
const qint64 slowestPace = 64 * 1024;
// After an answer given without reading the body, what the client still sends is read and dropped for a moment, so
// that it sees the answer: closing with unread data would reset the connection.
const seconds drainTime(1);
const qint64 maxDrained = 64 * 1024 * 1024;
const std::size_t firstRead = 512;

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

HttpConnection::HttpConnection(HttpServer& server, asio::ip::tcp::socket socket, std::string peer)
    : m_server(server), m_stream(std::move(socket)), m_buffer(maxHead), m_lineTimer(server.network()),
      m_peer(std::move(peer))
{
    m_parser.header_limit(std::uint32_t(maxHead));
    // The handler sets each path's limit from the declared length, before a byte of the body is read.
    m_parser.body_limit(boost::none);
}

HttpConnection::~HttpConnection()
{
    close();
}

void HttpConnection::start()
{
    m_server.table().startWaiting(this);
    m_stream.expires_after(m_server.limits().idle);
    m_stream.async_read_some(m_buffer.prepare(firstRead),
                             [self = shared_from_this()](const beast::error_code& error, std::size_t read) {
                                 if (error)
                                     return self->close();
                                 self->m_buffer.commit(read);
                                 self->readHead();
                             });
}

void HttpConnection::readHead()
{
    // From its first byte on, the head has its own time, however slowly its bytes come.
    m_stream.expires_after(m_server.limits().head);
    http::async_read_header(m_stream, m_buffer, m_parser,
                            [self = shared_from_this()](const beast::error_code& error, std::size_t) {
                                if (error)
                                    return self->close();
                                self->checkHead();
                            });
}

void HttpConnection::checkHead()
{
    const auto& request = m_parser.get();
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
    const qint64 length = qint64(*m_parser.content_length());
    if (length > *limit)
        return answer(m_server.handler().tooLarge());
    if (length <= largeBody)
        return readBody();
    m_state = State::InLine;
    m_lineTimer.expires_after(m_server.limits().largeWait);
    m_lineTimer.async_wait([self = shared_from_this()](const beast::error_code&) {
        if (self->m_state != State::InLine)
            return;
        static WarningPace pace;
        pace.warn(QString("a large request from %1 waited its turn in vain").arg(self->m_peer.c_str()));
        self->answer(self->m_server.handler().busy());
    });
    m_server.turns().await(shared_from_this());
}

bool HttpConnection::takeTurn()
{
    if (m_state != State::InLine)
        return false;
    m_holdsTurn = true;
    m_lineTimer.cancel();
    readBody();
    return true;
}

void HttpConnection::readBody()
{
    m_state = State::Body;
    const auto& request = m_parser.get();
    // A body sent with a GET is not read: the answer does not depend on it.
    if (request.method() != http::verb::post || m_parser.is_done())
        return work();
    const qint64 length = qint64(*m_parser.content_length());
    // Room for the whole body at once: memory not yet written to costs nothing.
    m_body = QByteArray(length, Qt::Uninitialized);
    m_parser.get().body() = beast::span<char>(m_body.data(), std::size_t(length));
    m_stream.expires_after(transferTime(length));
    const auto read = [self = shared_from_this()] {
        http::async_read(self->m_stream, self->m_buffer, self->m_parser,
                         [self](const beast::error_code& error, std::size_t) {
                             if (error)
                                 return self->close();
                             self->work();
                         });
    };
    if (!beast::iequals(request[http::field::expect], "100-continue"))
        return read();
    m_continue = http::response<http::empty_body>(http::status::continue_, request.version());
    http::async_write(m_stream, m_continue,
                      [self = shared_from_this(), read](const beast::error_code& error, std::size_t) {
                          if (error)
                              return self->close();
                          read();
                      });
}

void HttpConnection::work()
{
    m_server.table().stopWaiting(this);
    m_state = State::Working;
    const auto& head = m_parser.get();
    const std::string target(head.target());
    const std::size_t mark = target.find('?');
    HttpHandler::Request request{std::string(head.method_string()),
                                 target.substr(0, mark),
                                 mark == std::string::npos ? std::string() : target.substr(mark + 1),
                                 m_peer,
                                 std::string(head[http::field::host]),
                                 std::string(head[http::field::origin]),
                                 std::exchange(m_body, QByteArray())};
    asio::post(m_server.workers(), [self = shared_from_this(), request = std::move(request)]() mutable {
        HttpHandler::Answer answer = self->m_server.handler().answer(std::move(request));
        asio::post(self->m_server.network(),
                   [self, answer = std::move(answer)]() mutable { self->answer(std::move(answer)); });
    });
}

void HttpConnection::answer(HttpHandler::Answer answer)
{
    m_server.table().stopWaiting(this);
    m_state = State::Answering;
    // The turn ends with the work: what remains is writing the answer, which costs no more than the answer.
    if (std::exchange(m_holdsTurn, false))
        m_server.turns().release();
    const unsigned version = m_parser.get().version();
    if (!answer.file.isEmpty()) {
        beast::error_code error;
        http::file_body::value_type file;
        file.open(answer.file.toLocal8Bit().constData(), beast::file_mode::scan, error);
        if (!error) {
            m_file = std::make_unique<http::response<http::file_body>>(http::status::ok, version, std::move(file));
            m_file->set(http::field::content_type, answer.type);
            return send(*m_file);
        }
        answer = bare(404);
    }
    m_answerBody = std::move(answer.body);
    m_answer = std::make_unique<http::response<http::span_body<const char>>>(
        http::int_to_status(unsigned(answer.status)), version,
        beast::span<const char>(m_answerBody.constData(), std::size_t(m_answerBody.size())));
    if (!m_answerBody.isEmpty())
        m_answer->set(http::field::content_type, answer.type);
    send(*m_answer);
}

template <class Body> void HttpConnection::send(http::response<Body>& response)
{
    // One request per connection: a connection kept for a next request would only wait idle meanwhile.
    response.keep_alive(false);
    response.prepare_payload();
    m_stream.expires_after(transferTime(qint64(response.payload_size().value_or(0))));
    http::async_write(m_stream, response, [self = shared_from_this()](const beast::error_code& error, std::size_t) {
        if (error)
            return self->close();
        self->finish();
    });
}

void HttpConnection::finish()
{
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

void HttpConnection::close()
{
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_lineTimer.cancel();
    m_stream.close();
    m_server.table().stopWaiting(this);
    m_server.table().leave(m_peer);
    if (std::exchange(m_holdsTurn, false))
        m_server.turns().release();
}
