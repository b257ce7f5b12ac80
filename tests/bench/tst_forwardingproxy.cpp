#include "forwardingproxy.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestForwardingProxy : public QObject
{
    Q_OBJECT

private slots:
    void chainNamesEveryHopInOneList_data();
    void chainNamesEveryHopInOneList();
};

void TestForwardingProxy::chainNamesEveryHopInOneList_data()
{
    QTest::addColumn<QByteArray>("clientHeader");
    QTest::addColumn<QByteArray>("forwarded");

    QTest::newRow("none of the client's") << QByteArray() << QByteArray("X-Forwarded-For: 127.0.0.1, 127.0.0.5");
    QTest::newRow("the client's own, in small letters")
        << QByteArray("x-forwarded-for: 10.9.9.9\r\n") << QByteArray("x-forwarded-for: 10.9.9.9, 127.0.0.1, 127.0.0.5");
}

void TestForwardingProxy::chainNamesEveryHopInOneList()
{
    QFETCH(QByteArray, clientHeader);
    QFETCH(QByteArray, forwarded);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QByteArray received;
    QHostAddress peer;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        peer = socket->peerAddress();
        connect(socket, &QTcpSocket::readyRead, socket, [&, socket] { received += socket->readAll(); });
    });
    // The client reaches the outer proxy, which reaches the inner one from 127.0.0.5.
    ForwardingProxy inner(server.serverPort(), QHostAddress("127.0.0.6"));
    ForwardingProxy outer(quint16(QUrl(inner.baseUrl()).port()), QHostAddress("127.0.0.5"));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(QUrl(outer.baseUrl()).port()));
    QVERIFY(client.waitForConnected(30000));
    // The head comes in two pieces, the second with the body.
    client.write("POST /sync/userid.php HTTP/1.1\r\nHost: 127.0.0.1\r\n" + clientHeader);
    client.flush();
    client.write("Content-Length: 5\r\n\r\nhello");
    QTRY_VERIFY_WITH_TIMEOUT(received.endsWith("hello"), 30000);

    QCOMPARE(peer, QHostAddress("127.0.0.6"));
    const QByteArray head = received.left(received.indexOf("\r\n\r\n") + 2);
    QCOMPARE(head.toLower().count("x-forwarded-for"), 1);
    QVERIFY2(head.contains("\r\n" + forwarded + "\r\n"), head.constData());
    QCOMPARE(received.mid(head.size()), QByteArray("\r\nhello"));
}

QTEST_GUILESS_MAIN(TestForwardingProxy)
#include "tst_forwardingproxy.moc"
