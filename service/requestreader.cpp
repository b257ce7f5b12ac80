#include "requestreader.h"

#include "connectionsteps.h"
#include "servicelog.h"
#include "transferrules.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <utility>

namespace {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

const std::size_t firstRead = 512;
} // namespace

RequestReader::RequestReader(ConnectionSteps& steps, Events& events, beast::tcp_stream& stream,
                             asio::io_context& network, std::chrono::seconds idle, std::chrono::seconds headTime)
    : m_steps(steps), m_events(events), m_stream(stream), m_idle(idle), m_headTime(headTime), m_buffer(maxHead),
      m_floor(steps, network)
{
    m_parser.emplace();
    m_parser->header_limit(std::uint32_t(maxHead));
    // Each path's limit is checked against the declared length, before a byte of the body is read.
    m_parser->body_limit(boost::none);
}

void RequestReader::start()
{
    m_deadline = Clock::now() + m_idle;
    readHead();
}

void RequestReader::roomMade(qint64 bytes)
{
    growHead(bytes);
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
            return m_events.headUnreadable();
    }
    if (m_parser->is_header_done())
        return m_events.headRead();
    if (const std::size_t capacity = m_buffer.capacity(); m_buffer.size() == capacity) {
        // A head that fills the largest buffer unparsed is too large.
        if (capacity == maxHead)
            return m_events.headUnreadable();
        const std::size_t grown = capacity == 0 ? firstRead : std::min(maxHead, 2 * capacity);
        if (!m_events.headRoomWanted(qint64(grown - capacity), m_deadline))
            return;
        growHead(qint64(grown - capacity));
    }
    m_stream.expires_at(m_deadline);
    auto received = [this](const beast::error_code& error, std::size_t read) {
        if (m_stopped)
            return;
        if (error)
            return m_events.readingEnded();
        m_buffer.commit(read);
        // From its first byte on, the head has its own time, however slowly its bytes come.
        if (!std::exchange(m_headBegun, true))
            m_deadline = Clock::now() + m_headTime;
        m_events.requestRead(qint64(read));
        readHead();
    };
    m_stream.async_read_some(m_buffer.prepare(m_buffer.capacity() - m_buffer.size()),
                             m_steps.guarded(std::move(received)));
}

void RequestReader::headChecked()
{
    const auto& head = m_parser->get();
    m_version = head.version();
    m_expectContinue = beast::iequals(head[http::field::expect], "100-continue");
    const boost::optional<std::uint64_t> length = m_parser->content_length();
    m_declared = length ? qint64(std::min(*length, std::uint64_t(TransferRules::maxDropped))) : 0;
    m_wholeRead = m_parser->is_done();
    // The parsed head goes: what the request needs of it is kept by the connection, within the memory its reading
    // claimed.
    m_parser.reset();
}

void RequestReader::readBody(qint64 length)
{
    m_body = RequestBody(length);
    // What came with the head is the body's first bytes; anything past the body's length is no part of the request.
    m_body.received(
        qint64(asio::buffer_copy(asio::buffer(m_body.room(), std::size_t(m_body.left())), m_buffer.data())));
    freeHeadBuffer();
    m_deadline = Clock::now() + TransferRules::bodyTime(length);
    continueThen(m_deadline, [this] {
        m_floor.start(m_idle, [this] { floorFell(); });
        readMore();
    });
}

void RequestReader::readMore()
{
    if (m_body.whole()) {
        m_floor.stop();
        m_wholeRead = true;
        return m_events.bodyRead();
    }
    // A body that sends nothing for the idle time ends, whatever time its length gives it.
    const Clock::time_point silentBy = Clock::now() + m_idle;
    m_stream.expires_at(std::min(m_deadline, silentBy));
    auto received = [this, silentBy](const beast::error_code& error, std::size_t read) {
        if (m_stopped)
            return;
        if (error) {
            if (error == beast::error::timeout && Clock::now() >= silentBy)
                silent();
            return m_events.readingEnded();
        }
        m_body.received(qint64(read));
        m_floor.counted(qint64(read));
        m_events.requestRead(qint64(read));
        readMore();
    };
    m_stream.async_read_some(asio::buffer(m_body.room(), std::size_t(m_body.left())),
                             m_steps.guarded(std::move(received)));
}

void RequestReader::continueThen(Clock::time_point deadline, std::function<void()> next)
{
    if (!std::exchange(m_expectContinue, false))
        return next();
    m_continue = http::response<http::empty_body>(http::status::continue_, m_version);
    m_stream.expires_at(deadline);
    auto continued = [this, next = std::move(next)](const beast::error_code& error, std::size_t) {
        if (m_stopped)
            return;
        if (error)
            return m_events.readingEnded();
        next();
    };
    http::async_write(m_stream, m_continue, m_steps.guarded(std::move(continued)));
}

void RequestReader::floorFell()
{
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 sent under %2 KB/s over %3 s: closed")
                                      .arg(m_steps.client().c_str())
                                      .arg(TransferRules::floorPace / 1024)
                                      .arg(m_idle.count());
    stop();
    m_events.readingEnded();
}

void RequestReader::silent() const
{
    qCDebug(lcTurns).noquote() << QString("the body of a request from %1 sent nothing for %2 s: closed")
                                      .arg(m_steps.client().c_str())
                                      .arg(m_idle.count());
}

void RequestReader::stop()
{
    m_stopped = true;
    m_floor.stop();
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
