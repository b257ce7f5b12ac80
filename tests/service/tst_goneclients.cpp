#include "rawhttp.h"
#include "serviceprocess.h"

#include <QDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
// A sync of a name no account has, padded past the size that waits for a turn to be read: a password check's work.
const QByteArray largeSync =
    RawHttp::formPost("sync/syncpc2.php", "username=nobody&password=pw&data=" + QByteArray(2 * 1024 * 1024, 'x'));

bool newsServed(const QByteArray& answer)
{
    return answer.startsWith("HTTP/1.1 200 OK|<!DOCTYPE html>");
}
} // namespace

// Clients that hang up while their requests wait for the workers or are worked on, and newcomers when every place is
// taken by requests with the workers.
class TestGoneClients : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The service says when a request waits for a worker and when its client has hung up.
        qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true");
    }

    // The owner's client gives up on two requests while the only worker is busy. They held both its connections,
    // both its places among the waiting and the only turn for a large request: its next requests find them free.
    void hungUpRequestsGiveTheirPlacesBack()
    {
        ServiceProcess service({"--workers", "1", "--key-iterations", "3000000", "--connections-per-address", "2",
                                "--waiting-per-address", "2", "--large-requests", "1", "--large-request-wait", "3"});
        const std::unique_ptr<QTcpSocket> busy = RawHttp::connect(service.baseUrl(), "127.0.0.9");
        RawHttp::write(*busy, RawHttp::login("nobody", "pw"));
        QVERIFY(service.waitForLog("waits for a worker"));
        std::vector<std::unique_ptr<QTcpSocket>> abandoned;
        for (const QByteArray& request : {largeSync, news}) {
            abandoned.push_back(RawHttp::connect(service.baseUrl()));
            RawHttp::write(*abandoned.back(), request);
        }
        QVERIFY(service.waitForLog("waits for a worker", 3));
        abandoned.clear();
        QVERIFY(service.waitForLog("hung up", 2));

        const std::unique_ptr<QTcpSocket> large = RawHttp::connect(service.baseUrl());
        RawHttp::write(*large, largeSync);
        const QByteArray answer = RawHttp::exchange(service.baseUrl(), news);
        QVERIFY2(newsServed(answer), answer.left(200));
        QCOMPARE(RawHttp::error(RawHttp::answer(*large, 60000)), 1);
        QCOMPARE(RawHttp::error(RawHttp::answer(*busy, 60000)), 1);
    }

    // A worker building the answer to a sync whose client has hung up stops at its next record read, and what it
    // wrote of the answer goes.
    void workerStopsForAClientThatHungUp()
    {
        // The account's password takes a while to check.
        ServiceProcess service({"--workers", "1", "--key-iterations", "5000000"});
        const QString password = "password12";
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::formPost("", RawHttp::accountForm("owner", password)))
                    .contains("注册成功"));
        QVERIFY(
            RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", password, 1000, 100)).contains("table_name"));

        std::unique_ptr<QTcpSocket> reader = RawHttp::connect(service.baseUrl());
        RawHttp::write(*reader, RawHttp::sync("owner", password));
        QVERIFY(service.waitForLog("a worker took a request of 127.0.0.1", 3));
        reader.reset();
        QVERIFY(service.waitForLog("hung up: its worker stops at its next page"));
        QVERIFY(service.waitForLog("a sync from 127.0.0.1 stopped: its client hung up", 1, 30000));
        QTRY_VERIFY(QDir(service.dataDir() + "/answers").isEmpty());
    }

    // When every place is taken by requests that a worker has or that wait for one, a newcomer is turned away: none
    // of them is closed to make room.
    void connectionCapSparesRequestsWithTheWorkers()
    {
        ServiceProcess service({"--max-connections", "3", "--workers", "1", "--key-iterations", "3000000"});
        std::vector<std::unique_ptr<QTcpSocket>> logins;
        for (const char* from : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
            logins.push_back(RawHttp::connect(service.baseUrl(), from));
            RawHttp::write(*logins.back(), RawHttp::login("nobody", "pw"));
        }
        QVERIFY(service.waitForLog("waits for a worker", 3));
        QCOMPARE(RawHttp::exchange(service.baseUrl(), news, "127.0.0.5"), QByteArray());
        for (const auto& socket : logins)
            QCOMPARE(RawHttp::error(RawHttp::answer(*socket, 60000)), 1);
    }
};

QTEST_GUILESS_MAIN(TestGoneClients)
#include "tst_goneclients.moc"
