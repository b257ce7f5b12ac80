#include "online/httphelper.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QtTest>

#include <memory>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

namespace {
bool served(const ServiceProcess& service)
{
    return RawHttp::exchange(service.baseUrl(), "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        .startsWith("HTTP/1.1 200 OK|");
}
} // namespace

// Clients that send their requests slowly, or not at all, as hostile ones do: what they hold of the service's memory
// and time.
class TestSlowClients : public QObject
{
    Q_OBJECT

private slots:
    // The service says when a large request takes its turn and when a body sent nothing for the idle time.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // A body's room is claimed whole at its head: two large bodies have it, a third from another address waits for
    // it, and then the owner's small one. When one of the two goes silent and gives way, the owner's request, whose
    // address will hold least, has the room first, as the other body keeps coming a byte at a time.
    void silentBodiesGiveWayToTheOwner()
    {
        ServiceProcess service({"--request-memory", "1"});
        // Two such bodies take all but less than the owner's request needs, and what one leaves is short of another.
        const QByteArray sync = RawHttp::formPost("sync/syncpc2.php", QByteArray(500000, 'x'));
        std::vector<std::unique_ptr<QTcpSocket>> holders;
        for (const char* from : {"127.0.0.2", "127.0.0.3"})
            holders.push_back(RawHttp::sent(service.baseUrl(), sync.chopped(100), from));
        // Each sends a byte of its last hundred at a time.
        std::vector<int> trickled(holders.size(), 0);
        const auto trickle = [&](std::size_t holder) {
            holders.at(holder)->write(sync.mid(sync.size() - 100 + trickled.at(holder)++, 1));
            holders.at(holder)->waitForBytesWritten(1000);
        };
        // A request answered shows that the network thread has read the heads that came before it.
        QVERIFY(served(service));
        const std::unique_ptr<QTcpSocket> crowd = RawHttp::sent(service.baseUrl(), sync, "127.0.0.4");
        QVERIFY(service.waitForLog("a request from 127.0.0.4 waits for room to be read"));

        // Each accented letter is six bytes when encoded: the form is over 64 KB.
        const QByteArray feedback = HttpHelper::encodeForm(
            {{"email", "owner@example.com"}, {"subject", "FNK PC 反馈"}, {"content", QString(11000, QChar(0xe9))}});
        const std::unique_ptr<QTcpSocket> owner =
            RawHttp::sent(service.baseUrl(), RawHttp::formPost("client/feedback.php", feedback));
        trickle(0);
        trickle(1);
        QVERIFY(served(service));
        // From here on the first holder is silent, and gives way once it has been for the stall time.
        QElapsedTimer waiting;
        waiting.start();
        while (!owner->waitForReadyRead(400) && waiting.elapsed() < 60000)
            trickle(1);
        const QByteArray answer = RawHttp::answer(*owner);
        QVERIFY2(answer.contains("success"), answer.constData());
        // The room that came back went to the owner first. The third may have had the rest of it at once, and its
        // refusal may be written before the owner's answer: the order is the budget's, as the service logs it.
        const QString log = service.log();
        QVERIFY(log.contains("told a request of 127.0.0.2"));
        const qsizetype ownerRoom = log.indexOf("the body of a request from 127.0.0.1 has its room");
        const qsizetype crowdRoom = log.indexOf("the body of a request from 127.0.0.4 has its room");
        QVERIFY(ownerRoom >= 0);
        QVERIFY2(crowdRoom < 0 || ownerRoom < crowdRoom, "the request that waited longer had the room first");
        // The one that gave way is told why.
        QCOMPARE(RawHttp::error(RawHttp::answer(*holders.at(0))), 3);
    }

    // A request answered before its body is read, here a login over its path's limit, has the rest of its body read
    // and dropped for the time its declared length takes, not for a few seconds: a client that sends its body at a
    // modest pace for longer than that, and reads only once it has sent it all, can send it all and gets the answer.
    // The socket is written through the system's calls, as Qt's would close it on the service's half-close.
    void refusedBodyIsReadForItsLengthsTime()
    {
        ServiceProcess service;
        const QByteArray login =
            RawHttp::formPost("sync/userid.php", "username=nobody&password=pw&data=" + QByteArray(8 * 1024, 'x'));
        const qsizetype head = login.indexOf("\r\n\r\n") + 4;
        const std::unique_ptr<QTcpSocket> client = RawHttp::connect(service.baseUrl());
        const int socket = int(client->socketDescriptor());
        QCOMPARE(send(socket, login.constData(), size_t(head), MSG_NOSIGNAL), ssize_t(head));
        pollfd answered{socket, POLLIN, 0};
        QCOMPARE(poll(&answered, 1, 60000), 1);

        // Well past five seconds, a piece every 400 ms, and then the rest.
        QElapsedTimer sending;
        sending.start();
        for (qsizetype sent = head; sent < login.size();) {
            const qsizetype piece =
                sending.elapsed() < 8000 ? qMin<qsizetype>(200, login.size() - sent) : login.size() - sent;
            QVERIFY2(
                send(socket, login.constData() + sent, size_t(piece), MSG_NOSIGNAL) == ssize_t(piece),
                qPrintable(QString("closed %1 ms after the answer: %2").arg(sending.elapsed()).arg(strerror(errno))));
            sent += piece;
            QThread::msleep(400);
        }
        QCOMPARE(shutdown(socket, SHUT_WR), 0);
        QByteArray answer;
        char buffer[4096];
        for (ssize_t read = 1; read > 0;) {
            pollfd readable{socket, POLLIN, 0};
            QCOMPARE(poll(&readable, 1, 60000), 1);
            read = recv(socket, buffer, sizeof buffer, 0);
            answer.append(buffer, qMax<ssize_t>(read, 0));
        }
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());
        QCOMPARE(RawHttp::error('|' + answer.mid(answer.indexOf("\r\n\r\n") + 4)), 2);
    }

    // A body that sends nothing for the idle time is closed, whatever time its length would give it, and a large one
    // gives its turn back; a large body that sends only its head never takes one. The next in line takes the turn and
    // is answered. (A body that stops after some bytes is closed at the same time, for its pace.)
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
            service.baseUrl(), RawHttp::formPost("sync/syncpc2.php", QByteArray(1000, 'x')).chopped(1000), "127.0.0.4");
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
