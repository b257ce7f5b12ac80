#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

#include <memory>

// Requests written to a server as they stand, from a loopback address of the caller's choice: what the program's HTTP
// client would never send, or a client elsewhere on the network.
class RawHttp
{
public:
    // A socket connected from the address to the server at the base address; not connected when that failed.
    static std::unique_ptr<QTcpSocket> connect(const QString& baseUrl, const QString& from = "127.0.0.1");
    // What the server answers to the request: its status line and body joined by "|", nothing when the connection
    // was closed unanswered.
    static QByteArray exchange(const QString& baseUrl, const QByteArray& request, const QString& from = "127.0.0.1");
    // Reads what the server sends until it closes the connection, and returns it as exchange() does; the time-out,
    // between two reads, is room for a loaded machine, not a limit the server must keep.
    static QByteArray answer(QTcpSocket& socket, int timeoutMs = 60000);
    // A form POST to the path with the body.
    static QByteArray formPost(const QString& path, const QByteArray& body, const QByteArray& headers = {});
    // A socket from the address that has sent the whole request, as far as the server took it within a few seconds;
    // its answer is still to come.
    static std::unique_ptr<QTcpSocket> sent(const QString& baseUrl, const QByteArray& request,
                                            const QString& from = "127.0.0.1");
    // A sync of the account whose bill table has the columns and rows given as JSON lists, the other tables none.
    static QByteArray sync(const QString& account, const QString& password, const QByteArray& billColumns,
                           const QByteArrayList& billRows);
    // A sync whose bill table carries `rows` rows with titles of `titleSize` bytes; a device's first when none.
    static QByteArray sync(const QString& account, const QString& password, int rows = 0, int titleSize = 0);
    // The "error" of a JSON answer as exchange() gives it; 0 for none.
    static int error(const QByteArray& answer);

private:
    // Writes the request, as far as the server takes it within a few seconds.
    static void writeAll(QTcpSocket& socket, const QByteArray& request);
};
