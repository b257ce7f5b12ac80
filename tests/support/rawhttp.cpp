#include "rawhttp.h"

#include "online/httphelper.h"
#include "online/json.h"

#include <QHostAddress>
#include <QUrl>

std::unique_ptr<QTcpSocket> RawHttp::connect(const QString& baseUrl, const QString& from)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress::LocalHost, quint16(QUrl(baseUrl).port()));
    socket->waitForConnected(30000);
    return socket;
}

QByteArray RawHttp::exchange(const QString& baseUrl, const QByteArray& request, const QString& from)
{
    const std::unique_ptr<QTcpSocket> socket = connect(baseUrl, from);
    if (socket->state() != QAbstractSocket::ConnectedState)
        return "not connected";
    writeAll(*socket, request);
    return answer(*socket);
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

std::unique_ptr<QTcpSocket> RawHttp::sent(const QString& baseUrl, const QByteArray& request, const QString& from)
{
    std::unique_ptr<QTcpSocket> socket = connect(baseUrl, from);
    writeAll(*socket, request);
    return socket;
}

void RawHttp::writeAll(QTcpSocket& socket, const QByteArray& request)
{
    socket.write(request);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
    }
}

QByteArray RawHttp::sync(const QString& account, const QString& password, const QByteArray& billColumns,
                         const QByteArrayList& billRows)
{
    QByteArrayList entries;
    for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"}) {
        const bool bill = table == QByteArray("bill");
        entries << "{\"table_name\":\"" + QByteArray(table) +
                       "\",\"update_columns\":" + (bill ? billColumns : "[\"id\",\"title\",\"version\"]") +
                       ",\"update_data\":[" + (bill ? billRows.join(',') : QByteArray()) +
                       "],\"delete_columns\":[\"id\",\"version\"],\"delete_data\":[]}";
    }
    return formPost("sync/syncpc2.php",
                    HttpHelper::encodeForm({{"version", "44"},
                                            {"username", account},
                                            {"password", password},
                                            {"sync_time", "2008-08-08 08:08:08"},
                                            {"client_time", "2024-05-01 12:00:00"},
                                            {"data", QString::fromUtf8("[" + entries.join(',') + "]")}}));
}

QByteArray RawHttp::sync(const QString& account, const QString& password, int rows, int titleSize)
{
    QByteArrayList data;
    for (int i = 0; i < rows; ++i)
        data << "[\"" + QByteArray::number(i) + "\",\"" + QByteArray(titleSize, 't') + "\",\"2024-05-01 10:00:00\"]";
    return sync(account, password, "[\"id\",\"title\",\"version\"]", data);
}

int RawHttp::error(const QByteArray& answer)
{
    return JSON::getInstance()->toMap(QString::fromUtf8(answer.mid(answer.indexOf('|') + 1))).value("error").toInt();
}
