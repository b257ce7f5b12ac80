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

QByteArray RawHttp::accountForm(const QString& name, const QString& password)
{
    return HttpHelper::encodeForm({{"username", name}, {"password", password}});
}

QByteArray RawHttp::login(const QString& name, const QString& password)
{
    return formPost("sync/userid.php", accountForm(name, password));
}

QByteArray RawHttp::sync(const QString& account, const QString& password, int rows, int titleSize)
{
    QByteArrayList entries;
    for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"}) {
        QByteArrayList data;
        for (int i = 0; table == QByteArray("bill") && i < rows; ++i)
            data << "[\"" + QByteArray::number(i) + "\",\"" + QByteArray(titleSize, 't') +
                        "\",\"2024-05-01 10:00:00\"]";
        entries << "{\"table_name\":\"" + QByteArray(table) + "\",\"update_columns\":[\"id\",\"title\",\"version\"]," +
                       "\"update_data\":[" + data.join(',') +
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

int RawHttp::error(const QByteArray& answer)
{
    return JSON::getInstance()->toMap(QString::fromUtf8(answer.mid(answer.indexOf('|') + 1))).value("error").toInt();
}
