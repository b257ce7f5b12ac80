#include "forwardingproxy.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The bench's proxies in a row must name every client and proxy before them in one list, as real ones do, or the
// service would count a whole attack under one address without the bench showing it.
class TestForwardingProxy : public QObject
{
    Q_OBJECT

private slots:
    void chainNamesEveryHopInOneList()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        ForwardingProxy inner(server.serverPort(), QHostAddress("127.0.0.6"));
        ForwardingProxy outer(quint16(QUrl(inner.baseUrl()).port()), QHostAddress("127.0.0.5"));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(QUrl(outer.baseUrl()).port()));
        QVERIFY(client.waitForConnected(30000));
        // The head comes in two pieces, the second with the body.
        client.write("POST /sync/userid.php HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        client.flush();
        client.write("Content-Length: 5\r\n\r\nhello");

        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 30000);
        QTcpSocket* received = server.nextPendingConnection();
        QCOMPARE(received->peerAddress(), QHostAddress("127.0.0.6"));
        QByteArray request;
        QTRY_VERIFY_WITH_TIMEOUT((request += received->readAll()).endsWith("hello"), 30000);
        QCOMPARE(request.toLower().count("x-forwarded-for"), 1);
        QVERIFY2(request.contains("\r\nX-Forwarded-For: 127.0.0.1, 127.0.0.5\r\n"), request.constData());
    }
};

QTEST_GUILESS_MAIN(TestForwardingProxy)
#include "tst_forwardingproxy.moc"
