#include "hostileconnection.h"

#include <algorithm>

#include <QHostAddress>
#include <QUrl>

namespace {
// Padding is handed to the socket a piece at a time, so that a gigabyte is never held.
const qint64 piece = 1024 * 1024;
// A body held short goes in smaller pieces: thousands of such connections, whose server may read nothing, must not
// each hold a megabyte here.
const qint64 shortBodyPiece = 64 * 1024;
const qsizetype keptAnswer = 4096;
} // namespace

HostileConnection::HostileConnection(const QString& baseUrl, const QString& from, QObject* parent)
    : QObject(parent), m_piece(piece)
{
    m_started.start();
    m_socket.bind(QHostAddress(from));
    connect(&m_socket, &QTcpSocket::bytesWritten, this, [this](qint64 written) {
        m_sent += written;
        writeMore();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        if (!m_pace.isActive() && !m_unread)
            take(-1);
    });
    connect(&m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state != QAbstractSocket::UnconnectedState || m_closedAt >= 0)
            return;
        take(-1);
        m_closedAt = m_started.elapsed();
        m_pace.stop();
        emit closed();
    });
    m_socket.connectToHost(QHostAddress::LocalHost, quint16(QUrl(baseUrl).port()));
}

void HostileConnection::send(const QByteArray& request, qint64 padding)
{
    m_padding = padding;
    m_socket.write(request);
}

void HostileConnection::sendShort(const QByteArray& head, qint64 length)
{
    m_piece = shortBodyPiece;
    send(head, length - 1);
}

void HostileConnection::trickle(const QByteArray& head, const QByteArray& rest, int intervalMs, int piece)
{
    m_socket.write(head);
    m_rest = rest;
    // Written from an offset: cutting the front off a body of megabytes at every piece would cost the bench more
    // than the service.
    connect(&m_pace, &QTimer::timeout, this, [this, piece] {
        if (m_restSent >= m_rest.size())
            return m_pace.stop();
        const qint64 written =
            m_socket.write(m_rest.constData() + m_restSent, qMin<qsizetype>(piece, m_rest.size() - m_restSent));
        if (written < 0)
            return m_pace.stop();
        m_restSent += written;
    });
    m_pace.start(intervalMs);
}

void HostileConnection::readSlowly(int bytesPerSecond, int intervalMs)
{
    const qint64 piece = qint64(bytesPerSecond) * intervalMs / 1000;
    // What Qt holds unread is bounded too, so that the server's writes wait for the pace.
    m_socket.setReadBufferSize(std::max<qint64>(bytesPerSecond, piece));
    connect(&m_pace, &QTimer::timeout, this, [this, piece] { take(piece); });
    m_pace.start(intervalMs);
}

void HostileConnection::holdUnread()
{
    m_unread = true;
    m_socket.setReadBufferSize(keptAnswer);
}

void HostileConnection::hangUpAfter(int ms)
{
    QTimer::singleShot(ms, this, [this] { m_socket.abort(); });
}

QByteArray HostileConnection::answer() const
{
    const qsizetype end = m_start.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : m_start.left(m_start.indexOf("\r\n")) + '|' + m_start.mid(end + 4);
}

void HostileConnection::takeAnswerStart()
{
    if (m_start.size() < keptAnswer)
        take(keptAnswer - m_start.size());
}

void HostileConnection::writeMore()
{
    if (m_padding <= 0 || m_socket.bytesToWrite() > m_piece)
        return;
    const qint64 size = qMin(m_piece, m_padding);
    m_padding -= size;
    m_socket.write(QByteArray(size, 'x'));
}

void HostileConnection::take(qint64 most)
{
    if (m_socket.bytesAvailable() <= 0)
        return;
    const QByteArray data = m_socket.read(most < 0 ? m_socket.bytesAvailable() : most);
    m_received += data.size();
    if (m_start.size() < keptAnswer)
        m_start += data.left(keptAnswer - m_start.size());
}
