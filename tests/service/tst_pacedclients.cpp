#include "pacedupload.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QtTest>

#include <chrono>
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

// How a trickle spaces the bytes it sends.
enum class Pace
{
    Steady,
    Bursts,
    SteadyAfterABurst
};

// A service whose memory for requests, a megabyte, the workers hold but for 700 bytes, which never give way: a login
// whose password check takes minutes holds the only worker, and a body waits for it.
class MemoryHeldByWork
{
public:
    explicit MemoryHeldByWork(const QStringList& options)
        : m_service(QStringList{"--request-memory", "1", "--workers", "1", "--key-iterations", "100000000"} + options)
    {
        m_held.push_back(RawHttp::sent(
            m_service.baseUrl(), RawHttp::formPost("sync/userid.php", "username=nobody&password=pw"), "127.0.0.2"));
        if (!m_service.waitForLog("a worker took a request of 127.0.0.2"))
            return;
        m_held.push_back(RawHttp::sent(m_service.baseUrl(), unknownSync(1024 * 1024 - 512 - 700), "127.0.0.3"));
        m_holding = m_service.waitForLog("a request from 127.0.0.3 waits for a worker");
    }

    bool held() const { return m_holding; }
    ServiceProcess& service() { return m_service; }

private:
    ServiceProcess m_service;
    std::vector<std::unique_ptr<QTcpSocket>> m_held;
    bool m_holding = false;
};

// A head that needs more room than its first 512 bytes.
const QByteArray longHead = "GET / HTTP/1.1\r\nX-Padding: " + QByteArray(600, 'x');
} // namespace

Q_DECLARE_METATYPE(Pace)

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

    // A claim for room that still waits, for a body or for more of a head than its first 512 bytes, ends with its
    // connection alone: a client that hangs up meanwhile is seen at once, and leaves the line holding nothing; a head
    // whose own time is up is told the service is busy, not left to find its connection closed, long before the idle
    // time or the wait for room would end.
    void claimWaitingForRoomEnds_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("hangsUp");
        QTest::newRow("a head told busy at its time")
            << longHead << QStringList{"--head-timeout", "3", "--idle-timeout", "120", "--large-request-wait", "59"}
            << false;
        QTest::newRow("hung up waiting for its body's room") << unknownSync(5000) << QStringList() << true;
        QTest::newRow("hung up waiting for more of its head's") << longHead << QStringList() << true;
    }

    void claimWaitingForRoomEnds()
    {
        QFETCH(QByteArray, request);
        QFETCH(QStringList, options);
        QFETCH(bool, hangsUp);
        MemoryHeldByWork memory(options);
        QVERIFY(memory.held());
        const std::unique_ptr<QTcpSocket> waiting = RawHttp::sent(memory.service().baseUrl(), request, "127.0.0.4");
        QVERIFY(memory.service().waitForLog("a request from 127.0.0.4 waits for room"));
        if (hangsUp) {
            waiting->disconnectFromHost();
            QVERIFY(memory.service().waitForLog("the client of a request from 127.0.0.4 hung up: its places are free"));
        } else {
            QCOMPARE(RawHttp::error(RawHttp::answer(*waiting, 30000)), busyError);
        }
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

    // A body far slower than any real line is closed once an idle time shows it under the floor pace, however it
    // spaces its bytes and though it is never silent for that long: 1 KB/s steadily; the floor's worth of an idle time
    // in one burst every 1.4 idle times, with a byte between; or 1 KB/s after a burst of twice the floor's worth in its
    // first idle time, as each idle time is judged afresh. So is what a client still sends of a body that was refused
    // unread.
    void trickleEndsAtTheFloorPace_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<Pace>("pace");
        QTest::addColumn<QByteArray>("closed");
        const QByteArray read = "the body of a request from 127.0.0.2 sent under 2 KB/s over 5 s: closed";
        QTest::newRow("steady") << unknownSync(200000) << Pace::Steady << read;
        QTest::newRow("in bursts") << unknownSync(200000) << Pace::Bursts << read;
        QTest::newRow("steady after a burst") << unknownSync(200000) << Pace::SteadyAfterABurst << read;
        QTest::newRow("refused unread")
            << RawHttp::formPost("sync/userid.php", QByteArray(200000, 'x')) << Pace::Bursts
            << QByteArray("the rest of a request from 127.0.0.2 answered unread came under 2 KB/s over 5 s: closed");
    }

    void trickleEndsAtTheFloorPace()
    {
        QFETCH(QByteArray, request);
        QFETCH(Pace, pace);
        QFETCH(QByteArray, closed);
        const int idleMs = 5000;
        ServiceProcess service({"--idle-timeout", QString::number(idleMs / 1000)});
        const qint64 head = request.indexOf("\r\n\r\n") + 4;
        // A little more than the floor takes over an idle time.
        const qint64 burst = 2048 * idleMs / 1000 + 100;
        const PacedUpload::Schedule schedule = [=](std::chrono::milliseconds elapsed) {
            const qint64 ms = elapsed.count();
            const qint64 beats = ms / (idleMs * 7 / 10);
            if (pace == Pace::Bursts)
                return head + burst * (1 + beats / 2) + beats;
            return ms * 1024 / 1000 + (pace == Pace::SteadyAfterABurst && ms >= idleMs / 2 ? 2 * burst : 0);
        };
        PacedUpload trickle(service.baseUrl(), request, "127.0.0.2", schedule);
        QVERIFY(service.waitForLog(closed));
    }

    // Of an address that holds more than twice its share of the memory, a request in line for its turn gives way to a
    // claim that waits, and is told the service is busy, as long as the address keeps its share; its requests count
    // together whether they come straight or through a trusted proxy that names it. Eleven large requests of one
    // address wait in line, each holding the room of a head of 40 KB: 704 KB of the megabyte, past twice the share of
    // three addresses, five of them through the proxy. A body of 350 KB finds 320 KB left, and is read once one of them
    // gives way.
    void addressPastItsShareGivesWay()
    {
        ServiceProcess service({"--request-memory", "1", "--large-requests", "1", "--trusted-proxy", "127.0.0.5"});
        PacedUpload holder(service.baseUrl(), unknownSync(2 << 20), "127.0.0.2", 100 * 1024);
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 took its turn"));
        const QByteArray large = unknownSync(2 << 20);
        const int head = int(large.indexOf("\r\n\r\n")) + 4;
        const QByteArray padding = "X-Padding: " + QByteArray(40000, 'x') + "\r\n";
        std::vector<std::unique_ptr<QTcpSocket>> inLine;
        for (int i = 0; i < 11; ++i) {
            const bool proxied = i < 5;
            QByteArray request = large.left(head + 100);
            request.insert(request.indexOf("\r\n") + 2, proxied ? padding + "X-Forwarded-For: 127.0.0.9\r\n" : padding);
            inLine.push_back(RawHttp::sent(service.baseUrl(), request, proxied ? "127.0.0.5" : "127.0.0.9"));
        }
        QVERIFY(service.waitForLog("a large request from 127.0.0.9 waits in line for its turn", 11));

        const std::unique_ptr<QTcpSocket> claim = RawHttp::sent(service.baseUrl(), unknownSync(350000), "127.0.0.6");
        QCOMPARE(RawHttp::error(RawHttp::answer(*claim, 120000)), loginError);
        QVERIFY(service.log().contains("told a request of 127.0.0.9 that sent too slowly or held far past its share"));
        service.stop();
    }
};

QTEST_GUILESS_MAIN(TestPacedClients)
#include "tst_pacedclients.moc"
