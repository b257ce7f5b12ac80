#include "pacedupload.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {
// A sync of an account that has none: answered once whole, with the login's error, unless the service is busy.
QByteArray unknownSync(int bodySize)
{
    const QByteArray fields = "username=nobody&password=pw&data=";
    return RawHttp::formPost("sync/syncpc2.php", fields + QByteArray(bodySize - fields.size(), 'x'));
}

const int loginError = 1;
const int busyError = 3;
} // namespace

// Clients that send their requests at a pace of their own, honest or not: which the service waits for, and which give
// way to others.
class TestPacedClients : public QObject
{
    Q_OBJECT

private slots:
    // The service says when a large request takes its turn and when a body is closed for its pace.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // A large request waiting in line for its turn is not read meanwhile: that is no silence of its client's, so when
    // memory runs short it keeps its place and is answered once its turn comes.
    void requestInLineIsAnsweredWhenMemoryRunsShort()
    {
        ServiceProcess service({"--request-memory", "1", "--large-requests", "1"});
        PacedUpload holder(service.baseUrl(), unknownSync(2 << 20), "127.0.0.2", 128 * 1024);
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 took its turn"));
        const std::unique_ptr<QTcpSocket> inLine = RawHttp::sent(service.baseUrl(), unknownSync(2 << 20), "127.0.0.3");
        // Two bodies held a byte short take the memory, and a third waits for room.
        std::vector<std::unique_ptr<QTcpSocket>> fillers;
        for (const char* from : {"127.0.0.4", "127.0.0.5"})
            fillers.push_back(RawHttp::sent(service.baseUrl(), unknownSync(500000).chopped(1), from));
        const std::unique_ptr<QTcpSocket> waiting = RawHttp::sent(service.baseUrl(), unknownSync(500000), "127.0.0.6");
        QVERIFY(service.waitForLog("waits for room to be read"));

        QCOMPARE(RawHttp::error(holder.answer()), loginError);
        QCOMPARE(RawHttp::error(RawHttp::answer(*inLine, 120000)), loginError);
        QCOMPARE(RawHttp::error(RawHttp::answer(*waiting, 120000)), loginError);
    }

    // An honest sync sent over a slow uplink, 3 MB at 50 KB/s, alone on the service: its body gets the time its
    // length takes at the floor pace, and its turn stays its own while nobody waits for one.
    void slowUplinkIsAnswered()
    {
        ServiceProcess service;
        QVERIFY(service.addAccount("owner", "pw"));
        PacedUpload upload(service.baseUrl(), RawHttp::sync("owner", "pw", 20, 150000), "127.0.0.2", 50 * 1024);
        QVERIFY(upload.answer().contains("table_name"));
    }

    // While a claim waits for room, a body that comes at an honest pace keeps the room it has and is answered; the
    // claim is granted once that room comes back.
    void honestPaceKeepsItsRoom()
    {
        ServiceProcess service({"--request-memory", "1"});
        PacedUpload honest(service.baseUrl(), unknownSync(900000), "127.0.0.2", 100 * 1024);
        QVERIFY(service.waitForLog("the body of a request from 127.0.0.2 has its room"));
        const std::unique_ptr<QTcpSocket> waiting = RawHttp::sent(service.baseUrl(), unknownSync(500000), "127.0.0.3");
        QVERIFY(service.waitForLog("a request from 127.0.0.3 waits for room to be read"));

        QCOMPARE(RawHttp::error(honest.answer()), loginError);
        QCOMPARE(RawHttp::error(RawHttp::answer(*waiting, 120000)), loginError);
    }

    // A new connection whose head finds the memory held by bodies that come at an honest pace waits for room; when
    // the head's time is up first, its client is told the service is busy rather than left to find it closed.
    void headWaitingForRoomIsToldBusy()
    {
        ServiceProcess service({"--request-memory", "1", "--idle-timeout", "3"});
        // Two bodies take the whole megabyte, and keep it for five seconds.
        PacedUpload first(service.baseUrl(), unknownSync(512 * 1024), "127.0.0.2", 100 * 1024);
        QVERIFY(service.waitForLog("the body of a request from 127.0.0.2 has its room"));
        PacedUpload second(service.baseUrl(), unknownSync(512 * 1024), "127.0.0.3", 100 * 1024);
        QVERIFY(service.waitForLog("the body of a request from 127.0.0.3 has its room"));
        const std::unique_ptr<QTcpSocket> head = RawHttp::sent(service.baseUrl(), "GET / HTTP/1.1\r\n", "127.0.0.4");
        QCOMPARE(RawHttp::error(RawHttp::answer(*head, 30000)), busyError);
        QCOMPARE(RawHttp::error(first.answer()), loginError);
        QCOMPARE(RawHttp::error(second.answer()), loginError);
    }

    // Bodies over 256 KB that keep an honest pace take all the memory but the room kept for small requests, 1 MB of
    // the 8 by default, and no more: a small sync is read at once beside them, before a large one that came first
    // and waits for one of theirs to end.
    void smallBodyIsReadBesideLargeOnesAtPace()
    {
        ServiceProcess service({"--request-memory", "8"});
        std::vector<std::unique_ptr<PacedUpload>> large;
        QStringList addresses;
        for (int i = 0; i < 8; ++i) {
            addresses << QString("127.0.0.%1").arg(2 + i);
            large.push_back(
                std::make_unique<PacedUpload>(service.baseUrl(), unknownSync(1 << 20), addresses.last(), 100 * 1024));
            // Its body has its room, or waits for it.
            QVERIFY(service.waitForLog(("a request from " + addresses.last()).toUtf8()));
        }
        QCOMPARE(RawHttp::error(RawHttp::exchange(service.baseUrl(), unknownSync(100000), "127.0.0.20")), loginError);
        for (const std::unique_ptr<PacedUpload>& upload : large)
            QCOMPARE(RawHttp::error(upload->answer()), loginError);

        const auto roomAt = [&service](const QString& from) {
            return service.log().indexOf(("the body of a request from " + from + " has its room").toUtf8());
        };
        const qsizetype small = roomAt("127.0.0.20");
        for (const QString& from : addresses.mid(0, 7))
            QVERIFY2(roomAt(from) >= 0 && roomAt(from) < small, qPrintable(from));
        QVERIFY2(small < roomAt(addresses.last()), service.log().constData());
    }

    // A body far slower than any real line, here 1 KB/s, is closed once an idle time shows it under the floor pace,
    // though it is never silent for that long.
    void trickleEndsAtTheFloorPace()
    {
        ServiceProcess service({"--idle-timeout", "3"});
        PacedUpload trickle(service.baseUrl(), unknownSync(100000), "127.0.0.2", 1024);
        QVERIFY(service.waitForLog("127.0.0.2 sent under 2 KB/s over 3 s: closed", 1, 30000));
        QCOMPARE(trickle.answer(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestPacedClients)
#include "tst_pacedclients.moc"
