#include "loopbackhttpserver.h"

#include <QRegularExpression>
#include <QTcpSocket>

LoopbackHttpServer::LoopbackHttpServer(const QByteArray& reply) : m_reply(reply)
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QString LoopbackHttpServer::baseUrl() const
{
    return QString("http://127.0.0.1:%1/").arg(serverPort());
}

QByteArray LoopbackHttpServer::reply(const QByteArray& status, const QByteArray& body, const QByteArray& extraHeaders)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

void LoopbackHttpServer::serve(QTcpSocket* socket)
{
    QByteArray& request = m_pending[socket];
    request += socket->readAll();
    const int headEnd = request.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    static const QRegularExpression lengthHeader("\r\ncontent-length: *(\\d+)",
                                                 QRegularExpression::CaseInsensitiveOption);
    const auto match = lengthHeader.match(QString::fromLatin1(request.left(headEnd)));
    const int length = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (request.size() < headEnd + 4 + length)
        return;
    m_requests << request;
    m_pending.remove(socket);
    if (m_reply.isEmpty()) {
        m_unanswered << socket;
        return;
    }
    socket->write(m_reply);
    socket->disconnectFromHost();
}

void LoopbackHttpServer::answerPending(const QByteArray& reply)
{
    for (QTcpSocket* socket : std::as_const(m_unanswered)) {
        socket->write(reply);
        socket->disconnectFromHost();
    }
    m_unanswered.clear();
}
