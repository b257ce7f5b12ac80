#include "rawhttp.h"
#include "serviceprocess.h"
#include "storehold.h"
#include "writerchain.h"

#include <QDir>
#include <QtTest>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class TestGoneClients : public QObject
{
    Q_OBJECT

private slots:
    // The service says when a request waits for a worker and when its client has hung up.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // While the only worker checks the password of the owner's sync and another client has two requests waiting, as
    // other addresses have one each, every place is taken by requests with the workers: a newcomer is turned away,
    // none of them closed. Then the owner and that client hang up. The waiting requests give back at once both
    // connections of their address, both its places among the waiting and the only turn for a large request, so that
    // its next requests are served; the worker stops at its next page, and what it wrote of the answer goes.
    void hungUpClientsHoldNothing()
    {
        // The owner's password, set at the sign-up here, takes a while to check: long enough for the steps below to
        // be taken while it holds the only worker, and no longer, as every check here costs as much and a busy
        // machine makes each last many times as long.
        ServiceProcess service({"--workers", "1", "--key-iterations", "1000000", "--max-connections", "16",
                                "--connections-per-address", "2", "--waiting-per-address", "2", "--large-requests", "1",
                                "--large-request-wait", "3"});
        const QByteArray signUp = RawHttp::formPost("", "username=owner&password=password12");
        QVERIFY(RawHttp::exchange(service.baseUrl(), signUp).contains("注册成功"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "password12", 1000, 100))
                    .contains("table_name"));
        auto reader = RawHttp::sent(service.baseUrl(), RawHttp::sync("owner", "password12"), "127.0.0.9");
        QVERIFY(service.waitForLog("a worker took a request of 127.0.0.9"));
        const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        // A sync of a name no account has, large enough to wait for a turn to be read.
        const QByteArray large =
            RawHttp::formPost("sync/syncpc2.php", "username=nobody&password=pw&data=" + QByteArray(2 << 20, 'x'));
        const qsizetype waitedBefore = service.log().count("waits for a worker");
        std::vector<std::unique_ptr<QTcpSocket>> waiting;
        for (const QByteArray& request : {large, news})
            waiting.push_back(RawHttp::sent(service.baseUrl(), request));
        // The 13 places left of the 16, the fewest the service serves.
        std::vector<std::unique_ptr<QTcpSocket>> others;
        for (int i = 0; i < 13; ++i)
            others.push_back(RawHttp::sent(service.baseUrl(), news, QString("127.0.0.%1").arg(20 + i)));
        QVERIFY(service.waitForLog("waits for a worker", waitedBefore + 15));
        QCOMPARE(RawHttp::answer(*RawHttp::sent(service.baseUrl(), news, "127.0.0.5"), 60000), QByteArray());

        waiting.clear();
        reader.reset();
        QVERIFY(service.waitForLog("hung up", 3));
        const std::unique_ptr<QTcpSocket> next = RawHttp::sent(service.baseUrl(), large);
        const QByteArray answer = RawHttp::answer(*RawHttp::sent(service.baseUrl(), news), 60000);
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|<!DOCTYPE html>"), answer.left(200));
        QCOMPARE(RawHttp::error(RawHttp::answer(*next, 60000)), 1);
        QVERIFY(service.waitForLog("a sync from 127.0.0.9 stopped: its client hung up"));
        QTRY_VERIFY(QDir(service.dataDir() + "/answers").isEmpty());
    }

    // A sync whose client hangs up once its merge is worked out, here while it waits for the store's writing, which
    // other writers hold one after another as a second service process's syncs would, each letting go within the half
    // second a sync waits for one, stops waiting while they still hold it: the store holds nothing of it, and nothing
    // stays held, so that the account's next sync, on the same worker and its connection, is stored. The writers
    // leave the service 5 s to see the hang-up, where a wait that did not look for it would go on through them all.
    void hungUpSyncWritesNothing()
    {
        ServiceProcess service({"--workers", "1"});
        QVERIFY(service.addAccount("owner", "pw"));
        std::optional<WriterChain> writers(std::in_place, service.database(), 25, std::chrono::milliseconds(200));
        auto client = RawHttp::sent(service.baseUrl(), RawHttp::sync("owner", "pw", 1000, 10));
        QVERIFY(service.waitForLog("a sync has worked out its merge: it writes 1000 records"));
        client.reset();
        QVERIFY(service.waitForLog("a sync from 127.0.0.1 stopped: its client hung up"));
        QVERIFY2(!writers->done(), "the sync stopped only once the other writers had let go");
        writers.reset();
        StoreHold store(service.database());
        QVERIFY(store.held());
        QCOMPARE(store.rows("records"), 0);
        store.release();

        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw", 10, 10)).contains("table_name"));
        QCOMPARE(store.rows("records"), 10);
    }

    // While the only turn for a large request is held, a client that hangs up before its body's bytes come, or
    // behind bytes of it that wait unread for their turn, leaves at once.
    void hungUpLargeRequestsLeaveAtOnce()
    {
        ServiceProcess service({"--large-requests", "1"});
        const QByteArray large = RawHttp::formPost("sync/syncpc2.php", QByteArray(2 << 20, 'x'));
        const int head = int(large.indexOf("\r\n\r\n")) + 4;
        const std::unique_ptr<QTcpSocket> holder =
            RawHttp::sent(service.baseUrl(), large.left(head + 100), "127.0.0.2");
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 took its turn"));
        for (const int bytes : {0, 100000}) {
            const std::unique_ptr<QTcpSocket> client =
                RawHttp::sent(service.baseUrl(), large.left(head + bytes), "127.0.0.3");
            client->disconnectFromHost();
        }
        QVERIFY(service.waitForLog("127.0.0.3 hung up: its places are free", 2));
    }
};

QTEST_GUILESS_MAIN(TestGoneClients)
#include "tst_goneclients.moc"
