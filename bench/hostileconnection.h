#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// One connection of an attacker from a loopback address of its own. It sends its request at once, or its head at
// once and the rest a byte at a time, or its request followed by padding as fast as the server takes it, or a body
// all but its last byte; it reads the answer as it comes or at a slow pace, or hangs up early; and it keeps the start
// of the answer and counts the rest.
class HostileConnection : public QObject
{
    Q_OBJECT

public:
    HostileConnection(const QString& baseUrl, const QString& from, QObject* parent = nullptr);

    // Sends the request, then `padding` bytes of "x".
    void send(const QByteArray& request, qint64 padding = 0);
    // Sends the head, then all of a body of that length but its last byte.
    void sendShort(const QByteArray& head, qint64 length);
    // Sends the head at once and the rest `piece` bytes per interval: a byte for a trickle, more for a slow line.
    void trickle(const QByteArray& head, const QByteArray& rest, int intervalMs, int piece = 1);
    // Takes the answer at this pace at most, a piece every interval.
    void readSlowly(int bytesPerSecond, int intervalMs = 100);
    // Takes nothing of the answer until the server closes the connection: what the system buffers is all it holds.
    void holdUnread();
    // Drops the connection that many milliseconds from now, whatever the server is doing with it.
    void hangUpAfter(int ms);

    bool isOpen() const { return m_socket.state() != QAbstractSocket::UnconnectedState; }
    // Milliseconds from the connection's start until it closed, or until now.
    qint64 lifetimeMs() const { return m_closedAt >= 0 ? m_closedAt : m_started.elapsed(); }
    qint64 sent() const { return m_sent; }
    qint64 received() const { return m_received; }
    // Whether any of the answer has come, read or not.
    bool answerBegun() const { return m_received > 0 || m_socket.bytesAvailable() > 0; }
    // The start of the answer: its status line and the beginning of its body joined by "|".
    QByteArray answer() const;
    // Reads what has come of the answer, as far as answer() keeps it, on a connection that holds it unread or reads it
    // slowly: for a look at it once the attack is over.
    void takeAnswerStart();

signals:
    void closed();

private:
    void writeMore();
    void take(qint64 most);

    QElapsedTimer m_started;
    QTimer m_pace;
    QByteArray m_rest;
    qsizetype m_restSent = 0;
    qint64 m_padding = 0;
    qint64 m_piece;
    qint64 m_sent = 0;
    qint64 m_received = 0;
    qint64 m_closedAt = -1;
    bool m_unread = false;
    QByteArray m_start;
    // Last, so that it goes first: closing as it goes, it tells its state to handlers that use the members above.
    QTcpSocket m_socket;
};
