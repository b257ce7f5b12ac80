#include "rawhttp.h"
#include "serviceprocess.h"
#include "storehold.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Lets the process take that many bytes more address space than it has now; a negative count lifts the limit.
bool allowMore(qint64 pid, qint64 bytes)
{
    QFile statm(QString("/proc/%1/statm").arg(pid));
    const qint64 pages = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(0).toLongLong() : 0;
    const rlimit limit{bytes < 0 ? RLIM_INFINITY : rlim_t(pages * sysconf(_SC_PAGESIZE) + bytes), RLIM_INFINITY};
    return pages > 0 && prlimit(pid_t(pid), RLIMIT_AS, &limit, nullptr) == 0;
}
} // namespace

class TestServiceLifetime : public QObject
{
    Q_OBJECT

private slots:
    // The service says when a request waits for a worker.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // Work that throws for want of memory costs its request alone, and the service says so and goes on: on a worker,
    // here as a sync's 50 MB record is read from its body, the request gets the service's error answer; on the
    // network thread, here as a large body grows, the connection closes. Either way the next sync is served, and
    // the service stops cleanly after.
    void outlivesWantOfMemory_data()
    {
        QTest::addColumn<int>("recordMb");
        // The room the service is given beyond what it holds now, past the request's size (negative: short of it).
        QTest::addColumn<int>("roomPastRequestMb");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QByteArray>("warning");
        QTest::newRow("on a worker") << 50 << 20 << true
                                     << QByteArray("a request from 127.0.0.1 failed: std::bad_alloc");
        QTest::newRow("on the network thread")
            << 40 << -24 << false
            << QByteArray("the connection of 127.0.0.1 failed on the network thread: std::bad_alloc");
    }

    void outlivesWantOfMemory()
    {
#ifdef QUILLBAY_SANITIZED
        QSKIP("the address sanitizer maps terabytes of shadow memory, and its allocator ends the process where it "
              "runs out instead of throwing: no limit on the address space fits it");
#endif
        QFETCH(int, recordMb);
        QFETCH(int, roomPastRequestMb);
        QFETCH(bool, answered);
        QFETCH(QByteArray, warning);
        ServiceProcess service;
        QVERIFY(service.addAccount("owner", "pw"));
        const QByteArray large = RawHttp::sync("owner", "pw", 1, recordMb * 1024 * 1024);
        QVERIFY(allowMore(service.processId(), large.size() + qint64(roomPastRequestMb) * 1024 * 1024));
        const QByteArray failed = RawHttp::exchange(service.baseUrl(), large);
        QVERIFY(allowMore(service.processId(), -1));
        if (answered)
            QVERIFY2(failed.startsWith("HTTP/1.1 200 OK|") && RawHttp::error(failed) == 3, failed.left(200));
        else
            QCOMPARE(failed, QByteArray());
        QVERIFY(service.waitForLog(warning));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw")).contains("table_name"));
    }

    // Told to stop, the service takes no new connection, finishes the work under way, closes a connection whose
    // client takes nothing of its answer after a short grace, removes that answer's file and ends with status 0.
    void stopsOnASignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stopsOnASignal()
    {
        QFETCH(int, signal);
        // The password check that waits when the signal comes ends within the grace the service gives work at its
        // stop even on a busy machine, where a check of a million rounds took longer.
        ServiceProcess service({"--key-iterations", "200000"});
        QVERIFY(service.addAccount("owner", "pw"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw", 100, 150000)).contains("table_name"));

        const QDir spool(service.dataDir() + "/answers");
        const std::unique_ptr<QTcpSocket> reader = RawHttp::connect(service.baseUrl());
        reader->setReadBufferSize(64 * 1024);
        reader->write(RawHttp::sync("owner", "pw"));
        QTRY_COMPARE_WITH_TIMEOUT(spool.entryList(QDir::Files).size(), 1, 30000);
        const QByteArray login = RawHttp::formPost("sync/userid.php", "username=nobody&password=pw");
        const auto check = RawHttp::sent(service.baseUrl(), login, "127.0.0.2");
        QVERIFY(service.waitForLog("waits for a worker", 3));
        kill(pid_t(service.processId()), signal);
        QVERIFY(service.waitForLog("stopping on"));
        QCOMPARE(RawHttp::exchange(service.baseUrl(), login, "127.0.0.3"), QByteArray("not connected"));
        // Well before the 30 s a reader that takes nothing is given otherwise.
        QCOMPARE(service.exitCode(20000), 0);
        QCOMPARE(RawHttp::error(RawHttp::answer(*check)), 1);
        QVERIFY(spool.entryList(QDir::Files).isEmpty());
        QVERIFY2(service.log().trimmed().endsWith("info: stopped; its answer files are removed"),
                 service.log().right(500));
    }

    // Work under way that reaches no page by the end of the stop's grace, here feedback that waits to be stored while
    // another writer holds the store, is left behind as the service ends; a second signal, of the other kind so that
    // neither is lost in the first, ends the service at once. Either way the store keeps nothing of that feedback.
    void stopEndsWhateverIsUnderWay_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QList<int>>("statuses");
        QTest::newRow("one signal") << QList<int>{SIGTERM}
                                    << QByteArray("info: stopped, leaving behind work under way that reached no page "
                                                  "by the stop's end: nothing of it is committed, and the next start "
                                                  "removes its answer files")
                                    << QList<int>{0};
        QTest::newRow("a second signal") << QList<int>{SIGTERM, SIGINT}
                                         << QByteArray(
                                                "while stopping: stopped at once, work under way left uncommitted")
                                         << QList<int>{128 + SIGTERM, 128 + SIGINT};
    }

    void stopEndsWhateverIsUnderWay()
    {
        QFETCH(QList<int>, sent);
        QFETCH(QByteArray, said);
        QFETCH(QList<int>, statuses);
        ServiceProcess service;
        StoreHold writer(service.database());
        QVERIFY(writer.held());
        const auto client = RawHttp::sent(
            service.baseUrl(), RawHttp::formPost("client/feedback.php", "email=a%40b.cn&subject=s&content=c"));
        QVERIFY(service.waitForLog("a worker took a request of 127.0.0.1 (cheap)"));
        for (const int signal : sent)
            kill(pid_t(service.processId()), signal);
        QVERIFY(statuses.contains(service.exitCode()));
        // The service's last word: it did not wait for the sync.
        QVERIFY2(service.log().trimmed().endsWith(said), service.log().right(500));
        writer.release();
        QCOMPARE(writer.rows("feedback"), 0);
    }
};

QTEST_GUILESS_MAIN(TestServiceLifetime)
#include "tst_servicelifetime.moc"
