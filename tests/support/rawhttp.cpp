#include "rawhttp.h"

#include <QHostAddress>
#include <QUrl>

std::unique_ptr<QTcpSocket> RawHttp::connect(const QString& baseUrl, const QString& from)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress::LocalHost, quint16(QUrl(baseUrl).port()));
    socket->waitForConnected(5000);
    return socket;
}

QByteArray RawHttp::exchange(const QString& baseUrl, const QByteArray& request, const QString& from)
{
    const std::unique_ptr<QTcpSocket> socket = connect(baseUrl, from);
    if (socket->state() != QAbstractSocket::ConnectedState)
        return "not connected";
    write(*socket, request);
    return answer(*socket);
}

void RawHttp::write(QTcpSocket& socket, const QByteArray& request)
{
    socket.write(request);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
    }
}

QByteArray RawHttp::answer(QTcpSocket& socket, int timeoutMs)
{
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(timeoutMs)) {
    }
    const QByteArray answer = socket.readAll();
    if (answer.isEmpty())
        return answer;
    return answer.left(answer.indexOf("\r\n")) + '|' + answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

QByteArray RawHttp::formPost(const QString& path, const QByteArray& body, const QByteArray& headers)
{
    return "POST /" + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
