#include "online/httphelper.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QtTest>

#include <memory>
#include <vector>

// Clients that send their requests slowly, or not at all, as hostile ones do: what they hold of the service's memory
// and time.
class TestSlowClients : public QObject
{
    Q_OBJECT

private slots:
    // The service says when a large request takes its turn and when a body sent nothing for the idle time.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // A body's room is claimed whole at its head: connections of a crowd have it, the others wait. Once those with
    // room have sent all but their last byte and gone silent, one gives way: the owner's request, whose address holds
    // least, is the first the room goes to.
    void silentBodiesGiveWayToTheOwner()
    {
        ServiceProcess service({"--request-memory", "1"});
        // Two such bodies take all but less than the owner's request needs.
        const QByteArray sync = RawHttp::formPost("sync/syncpc2.php", QByteArray(500000, 'x'));
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 12; ++i) {
            crowd.push_back(RawHttp::connect(service.baseUrl(), QString("127.0.0.%1").arg(2 + i % 6)));
            crowd.back()->write(sync.chopped(1));
            crowd.back()->flush();
        }
        QVERIFY(service.waitForLog("waits for room to be read"));

        // Each accented letter is six bytes when encoded: the form is over 64 KB.
        const QByteArray feedback = HttpHelper::encodeForm(
            {{"email", "owner@example.com"}, {"subject", "FNK PC 反馈"}, {"content", QString(11000, QChar(0xe9))}});
        const QByteArray answer =
            RawHttp::exchange(service.baseUrl(), RawHttp::formPost("client/feedback.php", feedback));
        QVERIFY2(answer.contains("success"), answer.constData());
        QVERIFY(service.log().contains("told a request of 127.0.0."));
    }

    // A body that sends nothing for the idle time is closed, whatever time its length would give it, and a large one
    // gives its turn back; a large body that sends only its head never takes one. The next in line takes the turn and
    // is answered.
    void silentBodiesAreClosed()
    {
        ServiceProcess service({"--idle-timeout", "3", "--large-requests", "1"});
        const QByteArray large =
            RawHttp::formPost("sync/syncpc2.php", "username=nobody&password=pw&data=" + QByteArray(2 << 20, 'x'));
        const int head = int(large.indexOf("\r\n\r\n")) + 4;
        const std::unique_ptr<QTcpSocket> holder =
            RawHttp::sent(service.baseUrl(), large.left(head + 100), "127.0.0.2");
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 took its turn"));
        const std::unique_ptr<QTcpSocket> headOnly = RawHttp::sent(service.baseUrl(), large.left(head), "127.0.0.3");
        const std::unique_ptr<QTcpSocket> small = RawHttp::sent(
            service.baseUrl(), RawHttp::formPost("sync/syncpc2.php", QByteArray(1000, 'x')).chopped(10), "127.0.0.4");
        const std::unique_ptr<QTcpSocket> next = RawHttp::sent(service.baseUrl(), large, "127.0.0.5");

        QVERIFY(service.waitForLog("sent nothing for 3 s: closed", 3));
        QCOMPARE(RawHttp::error(RawHttp::answer(*next, 60000)), 1);
        QVERIFY(service.log().contains("a large request from 127.0.0.5 took its turn"));
        QVERIFY(!service.log().contains("127.0.0.3 took its turn"));
    }

    // A large body that comes slower than the floor pace, here a few bytes in ten seconds, gives its turn to one
    // waiting long before the idle time would close it: it is told the service is busy, and the next is answered.
    void slowBodyGivesItsTurnAway()
    {
        ServiceProcess service({"--large-requests", "1"});
        const QByteArray large =
            RawHttp::formPost("sync/syncpc2.php", "username=nobody&password=pw&data=" + QByteArray(2 << 20, 'x'));
        const std::unique_ptr<QTcpSocket> slow =
            RawHttp::sent(service.baseUrl(), large.left(large.indexOf("\r\n\r\n") + 100), "127.0.0.2");
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 took its turn"));
        const std::unique_ptr<QTcpSocket> next = RawHttp::sent(service.baseUrl(), large, "127.0.0.3");

        QVERIFY(service.waitForLog("127.0.0.2 sent under 64 KB/s: its turn goes to one waiting"));
        QCOMPARE(RawHttp::error(RawHttp::answer(*slow, 60000)), 3);
        QCOMPARE(RawHttp::error(RawHttp::answer(*next, 60000)), 1);
    }
};

QTEST_GUILESS_MAIN(TestSlowClients)
#include "tst_slowclients.moc"
