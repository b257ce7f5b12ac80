#include "answerwriter.h"

#include "connectionsteps.h"
#include "httpserver.h"
#include "servicelog.h"
#include "transferrules.h"
#include "warningpace.h"

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <array>
#include <sstream>

#include <linux/sockios.h>
#include <sys/ioctl.h>

namespace {
namespace asio = boost::asio;
namespace http = boost::beast::http;
using std::chrono::seconds;

// After an answer given without reading the body, what the client still sends is read and dropped, so that it sees
// the answer: closing with unread data would reset the connection, and a client that reads only once it has sent its
// whole body would lose the answer. The rest of a declared body gets the answer's time for its length, with pauses no
// longer than this; what has no length, this long.
const seconds drainTime(5);
// How often, at most, an answer's progress is looked at while its client takes nothing: a quarter of the stall time.
const seconds stallWatch(5);
} // namespace

AnswerWriter::AnswerWriter(ConnectionSteps& steps, Events& events, boost::beast::tcp_stream& stream, HttpServer& server)
    : m_steps(steps), m_events(events), m_stream(stream), m_server(server), m_timer(server.network()),
      m_floor(steps, server.network())
{
}

void AnswerWriter::write(HttpHandler::Answer answer, unsigned version, std::optional<qint64> unread)
{
    m_writing = true;
    m_unread = unread;
    http::response<http::empty_body> head(http::int_to_status(unsigned(answer.status)), version);
    if (answer.body.size() > 0)
        head.set(http::field::content_type, answer.type);
    head.content_length(std::uint64_t(answer.body.size()));
    // One request per connection: a connection kept for a next request would only wait idle meanwhile.
    head.keep_alive(false);
    std::ostringstream text;
    text << head.base();
    m_head = text.str();
    m_answer = std::move(answer.body);
    // An answer held in memory while its client takes it counts against the room for all such answers; without
    // room it waits for its client in a file, as large answers do.
    if (m_server.holdAnswer(m_answer.memory())) {
        m_memory = m_answer.memory();
    } else if (!m_answer.moveToFile(m_server.spool())) {
        static WarningPace pace;
        pace.warn(QString("answers waiting for their clients take all the room they may in memory and on disk: ended "
                          "the connection of %1")
                      .arg(m_steps.client().c_str()));
        return end();
    }
    m_deadline = Clock::now() + TransferRules::answerTime(m_answer.size());
    m_lastTaken = Clock::now();
    boost::system::error_code ignored;
    // Written as far as the system takes it, then again once it takes more.
    m_stream.socket().non_blocking(true, ignored);
    watchStall();
    writeSome();
}

void AnswerWriter::writeSome()
{
    auto& socket = m_stream.socket();
    for (;;) {
        const qint64 headSize = qint64(m_head.size());
        if (m_sent >= headSize + m_answer.size())
            return finish();
        // What is left of the head goes with the first piece of the body, in one write.
        const QByteArrayView head = QByteArrayView(m_head).sliced(std::min(m_sent, headSize));
        const qint64 offset = std::max<qint64>(m_sent - headSize, 0);
        QByteArrayView piece;
        // A piece read from a file goes into the buffer all connections share: what the client does not take of it
        // now is read again later.
        if (offset < m_answer.size() && !m_answer.read(offset, AnswerText::pieceSize, m_server.pieceBuffer(), piece)) {
            static WarningPace pace;
            pace.warn(QString("an answer's file could not be read again: ended the connection of %1")
                          .arg(m_steps.client().c_str()));
            return end();
        }
        const std::array<asio::const_buffer, 2> pieces{asio::buffer(head.data(), std::size_t(head.size())),
                                                       asio::buffer(piece.data(), std::size_t(piece.size()))};
        boost::system::error_code error;
        const std::size_t written = socket.write_some(pieces, error);
        if (error == asio::error::would_block || error == asio::error::try_again)
            break;
        if (error)
            return end();
        m_sent += qint64(written);
        taken();
        if (qint64(written) < head.size() + piece.size())
            break;
    }
    socket.async_wait(asio::ip::tcp::socket::wait_write,
                      m_steps.guarded([this](const boost::system::error_code& error) {
                          if (!m_writing)
                              return;
                          if (error)
                              return end();
                          writeSome();
                      }));
}

void AnswerWriter::watchStall()
{
    const Clock::time_point watched =
        Clock::now() + std::min<Clock::duration>(stallWatch, m_server.limits().writeStall / 4);
    m_timer.timer().expires_at(std::min(watched, m_deadline));
    m_timer.timer().async_wait(m_steps.guarded([this](const boost::system::error_code& error) {
        if (!error && m_writing)
            stallWatched();
    }));
}

void AnswerWriter::stallWatched()
{
    if (Clock::now() >= m_deadline)
        return end();
    // A client that reads slowly empties what the system holds for it long before there is room for more.
    int unacknowledged = -1;
    if (ioctl(m_stream.socket().native_handle(), SIOCOUTQ, &unacknowledged) != 0)
        unacknowledged = -1;
    if (unacknowledged >= 0 && unacknowledged < m_unacknowledged)
        taken();
    m_unacknowledged = unacknowledged;
    if (Clock::now() - m_lastTaken >= m_server.limits().writeStall)
        return end();
    watchStall();
}

void AnswerWriter::taken()
{
    m_lastTaken = Clock::now();
    m_events.answerTaken();
}

void AnswerWriter::finish()
{
    m_timer.cancel();
    drop();
    if (!m_unread)
        return end();
    drainUnread();
}

void AnswerWriter::drainUnread()
{
    boost::system::error_code ignored;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    const seconds window = m_server.limits().idle;
    m_floor.start(window, [this, window] {
        qCDebug(lcTurns).noquote()
            << QString("the rest of a request from %1 answered unread came under %2 KB/s over %3 s: closed")
                   .arg(m_steps.client().c_str())
                   .arg(TransferRules::floorPace / 1024)
                   .arg(window.count());
        end();
    });
    drain(0, Clock::now() + (*m_unread > 0 ? TransferRules::answerTime(*m_unread) : drainTime));
}

void AnswerWriter::drain(qint64 drained, Clock::time_point end)
{
    m_stream.expires_at(std::min(end, Clock::now() + drainTime));
    // What is read here is dropped: one buffer serves every connection.
    auto dropped = [this, drained, end](const boost::system::error_code& error, std::size_t read) {
        if (!m_writing)
            return;
        if (error || drained + qint64(read) >= TransferRules::maxDropped)
            return this->end();
        m_floor.counted(qint64(read));
        drain(drained + qint64(read), end);
    };
    m_stream.async_read_some(m_server.drainBuffer(), m_steps.guarded(std::move(dropped)));
}

void AnswerWriter::stop()
{
    m_writing = false;
    m_timer.cancel();
    m_floor.stop();
    drop();
}

void AnswerWriter::drop()
{
    m_answer = AnswerText();
    m_server.releaseAnswer(std::exchange(m_memory, 0));
}

void AnswerWriter::end()
{
    stop();
    m_events.answerEnded();
}
