#include "hostileconnection.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The bench's slow senders must deliver their request whole and in order, however they pace it: a household at
// 100 KB/s that garbled its body would be refused by the service, and the bench would blame the service.
class TestHostileConnection : public QObject
{
    Q_OBJECT

private slots:
    void tricklesTheWholeRequestInOrder_data()
    {
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("restSize");
        QTest::newRow("a byte at a time") << 1 << 40;
        QTest::newRow("pieces that divide the rest") << 1000 << 20000;
        QTest::newRow("a last piece shorter than the others") << 3000 << 10001;
    }

    void tricklesTheWholeRequestInOrder()
    {
        QFETCH(int, piece);
        QFETCH(int, restSize);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray rest;
        for (int i = 0; i < restSize; ++i)
            rest += char('a' + i % 26);
        const QByteArray head = "POST / HTTP/1.1\r\nContent-Length: " + QByteArray::number(restSize) + "\r\n\r\n";
        HostileConnection sender(QString("http://127.0.0.1:%1/").arg(server.serverPort()), "127.0.0.1");
        sender.trickle(head, rest, 1, piece);

        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 30000);
        QTcpSocket* received = server.nextPendingConnection();
        QByteArray request;
        QTRY_VERIFY_WITH_TIMEOUT((request += received->readAll()).size() >= head.size() + restSize, 60000);
        QCOMPARE(request, head + rest);
        QCOMPARE(sender.sent(), qint64(request.size()));
    }
};

QTEST_GUILESS_MAIN(TestHostileConnection)
#include "tst_hostileconnection.moc"
