#include "requestreader.h"

#include "httpconnection.h"
#include "httpserver.h"
#include "servicelog.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <utility>

namespace {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

const std::size_t firstRead = 512;
// A body that comes slower than this over an idle time ends for good: a dial-up line sends twice as much, so no real
// client is that slow, while a trickle would hold its room and its connection for nothing. Whether others wait for its
// room or its turn is judged by the faster paces of the memory budget and the turn (LargeTurn).
const qint64 floorPace = 2 * 1024;
// A body gets this long beyond its length's time at the floor pace, however short the idle time: the idle time alone
// ends a body that goes silent.
const std::chrono::seconds minTransfer(30);

HttpHandler::Answer unreadable()
{
    HttpHandler::Answer answer;
    answer.status = 400;
    return answer;
}
} // namespace

RequestReader::RequestReader(HttpConnection& connection) : m_connection(connection), m_buffer(maxHead)
{
    m_parser.emplace();
    m_parser->header_limit(std::uint32_t(maxHead));
    // Each path's limit is checked against the declared length, before a byte of the body is read.
    m_parser->body_limit(boost::none);
}

void RequestReader::start()
{
    m_deadline = Clock::now() + m_connection.server().limits().idle;
    readHead();
}

void RequestReader::readHead()
{
    // The head is parsed once whole; until then every byte of it read counts as progress all the same.
    while (m_buffer.size() > 0 && !m_parser->is_header_done()) {
        beast::error_code error;
        m_buffer.consume(m_parser->put(m_buffer.data(), error));
        if (error == http::error::need_more)
            break;
        if (error)
            return m_connection.answer(unreadable());
    }
    if (m_parser->is_header_done())
        return m_connection.checkHead();
    if (const std::size_t capacity = m_buffer.capacity(); m_buffer.size() == capacity) {
        // A head that fills the largest buffer unparsed is too large.
        if (capacity == maxHead)
            return m_connection.answer(unreadable());
        const std::size_t grown = capacity == 0 ? firstRead : std::min(maxHead, 2 * capacity);
        if (!m_connection.room().claim(qint64(grown - capacity), m_deadline))
            return;
        growHead(qint64(grown - capacity));
    }
    m_connection.stream().expires_at(m_deadline);
    auto received = [this](const beast::error_code& error, std::size_t read) {
        // A read the busy answer cut short is left to the answer; one done just before a close is dropped with it.
        if (m_connection.state() == HttpConnection::State::Answering)
            return;
        if (error || m_connection.state() == HttpConnection::State::Closed)
            return m_connection.close();
        m_buffer.commit(read);
        // From its first byte on, the head has its own time, however slowly its bytes come.
        if (m_connection.state() == HttpConnection::State::Idle) {
            m_connection.setState(HttpConnection::State::Head);
            m_deadline = Clock::now() + m_connection.server().limits().head;
        }
        m_connection.progressed(qint64(read));
        readHead();
    };
    m_connection.stream().async_read_some(m_buffer.prepare(m_buffer.capacity() - m_buffer.size()),
                                          m_connection.guarded(std::move(received)));
}

void RequestReader::grow(qint64 bytes)
{
    growHead(bytes);
}

void RequestReader::headChecked()
{
    const auto& head = m_parser->get();
    m_version = head.version();
    m_expectContinue = beast::iequals(head[http::field::expect], "100-continue");
    const boost::optional<std::uint64_t> length = m_parser->content_length();
    m_declared = length ? qint64(std::min(*length, std::uint64_t(HttpConnection::maxDrained))) : 0;
    m_requestRead = m_parser->is_done();
    // The parsed head goes: what the request needs of it is kept by the connection, within the memory its reading
    // claimed.
    m_parser.reset();
}

void RequestReader::makeBody(qint64 length)
{
    m_body = RequestBody(length);
    // What came with the head is the body's first bytes; anything past the body's length is no part of the request.
    m_body.received(
        qint64(asio::buffer_copy(asio::buffer(m_body.room(), std::size_t(m_body.left())), m_buffer.data())));
    freeHeadBuffer();
    // A slow honest uplink finishes: the body's time is its length at the floor pace, and 30 s more.
    m_deadline = Clock::now() + minTransfer + std::chrono::seconds(length / floorPace);
    m_window = {Clock::now(), m_body.left()};
}

void RequestReader::readBody()
{
    continueThen(m_deadline, [this] { readMore(); });
}

void RequestReader::readMore()
{
    if (m_body.whole()) {
        m_requestRead = true;
        return m_connection.queue();
    }
    // A body that sends nothing for the idle time ends, whatever time its length gives it.
    const Clock::time_point silentBy = Clock::now() + m_connection.server().limits().idle;
    m_connection.stream().expires_at(std::min(m_deadline, silentBy));
    auto received = [this, silentBy](const beast::error_code& error, std::size_t read) {
        // A read the answer cut short is left to the answer.
        if (m_connection.state() != HttpConnection::State::Body)
            return;
        if (error) {
            if (error == beast::error::timeout && Clock::now() >= silentBy)
                silent();
            return m_connection.close();
        }
        m_body.received(qint64(read));
        m_connection.progressed(qint64(read));
        if (!keepsFloor())
            return m_connection.close();
        readMore();
    };
    m_connection.stream().async_read_some(asio::buffer(m_body.room(), std::size_t(m_body.left())),
                                          m_connection.guarded(std::move(received)));
}

void RequestReader::continueThen(Clock::time_point deadline, std::function<void()> next)
{
    if (!std::exchange(m_expectContinue, false))
        return next();
    m_continue = http::response<http::empty_body>(http::status::continue_, m_version);
    m_connection.stream().expires_at(deadline);
    auto continued = [this, next = std::move(next)](const beast::error_code& error, std::size_t) {
        if (m_connection.state() == HttpConnection::State::Answering)
            return;
        if (error || m_connection.state() == HttpConnection::State::Closed)
            return m_connection.close();
        next();
    };
    http::async_write(m_connection.stream(), m_continue, m_connection.guarded(std::move(continued)));
}

bool RequestReader::keepsFloor()
{
    const std::chrono::seconds window = m_connection.server().limits().idle;
    const Clock::time_point now = Clock::now();
    if (now - m_window.first < window)
        return true;
    if (m_window.second - m_body.left() < floorPace * window.count()) {
        qCDebug(lcTurns).noquote() << QString("the body of a request from %1 sent under %2 KB/s over %3 s: closed")
                                          .arg(m_connection.client().c_str())
                                          .arg(floorPace / 1024)
                                          .arg(window.count());
        return false;
    }
    m_window = {now, m_body.left()};
    return true;
}

void RequestReader::silent() const
{
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 sent nothing for %2 s: closed")
                                      .arg(m_connection.client().c_str())
                                      .arg(m_connection.server().limits().idle.count());
}

void RequestReader::release()
{
    m_parser.reset();
    freeHeadBuffer();
    m_body = RequestBody();
}

void RequestReader::growHead(qint64 bytes)
{
    // A buffer at least twice its content grows to exactly the size asked for.
    m_buffer.prepare(m_buffer.capacity() + std::size_t(bytes) - m_buffer.size());
}

void RequestReader::freeHeadBuffer()
{
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}
