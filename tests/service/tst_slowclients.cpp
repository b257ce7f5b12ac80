#include "online/httphelper.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>
#include <vector>

// Clients that send their requests slowly, or not at all, as hostile ones do: what they hold of the service's memory
// and time.
class TestSlowClients : public QObject
{
    Q_OBJECT

private slots:
    // A body takes memory as its bytes come, not all at its head: two bodies begun leave room for a third's whole.
    // Connections from many addresses that send all but their last byte take the memory for requests and no more, the
    // rest of their bodies unread, and a request of the owner's that needs more than a piece of memory still finds
    // room at once.
    void bodiesTakeMemoryAsTheyCome()
    {
        ServiceProcess service({"--request-memory", "1"});
        const qint64 length = 600000;
        const QByteArray sync = RawHttp::formPost("sync/syncpc2.php", QByteArray(length, 'x'));
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 12; ++i) {
            crowd.push_back(RawHttp::connect(service.baseUrl(), QString("127.0.0.%1").arg(2 + i % 6)));
            crowd.back()->write(sync.chopped(length - 1));
            crowd.back()->flush();
            if (i == 1) {
                QVERIFY(!RawHttp::exchange(service.baseUrl(), sync).isEmpty());
                QVERIFY(!service.log().contains("waits for room"));
            }
        }
        for (const auto& connection : crowd) {
            connection->write(QByteArray(length - 2, 'x'));
            connection->flush();
        }
        QVERIFY(service.waitForLog("waits for room to be read"));

        // Each accented letter is six bytes when encoded: the form is over 64 KB.
        const QByteArray feedback = HttpHelper::encodeForm(
            {{"email", "owner@example.com"}, {"subject", "FNK PC 反馈"}, {"content", QString(11000, QChar(0xe9))}});
        const QByteArray answer =
            RawHttp::exchange(service.baseUrl(), RawHttp::formPost("client/feedback.php", feedback));
        QVERIFY2(answer.contains("success"), answer.constData());
    }

    // A body gets 30 seconds, or the time its length takes at 64 KB/s when that is longer, however slowly its client
    // sends it; then its connection is closed.
    void bodyTimeGrowsWithLength()
    {
        qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true");
        ServiceProcess service;
        qunsetenv("QT_LOGGING_RULES");
        QElapsedTimer clock;
        clock.start();
        // The second, of 36 s at that pace, is over 1 MB: it waits for a turn, which no other request holds.
        const qint64 lengths[] = {1000, 36 * 64 * 1024};
        const int allowedSeconds[] = {30, 36};
        std::unique_ptr<QTcpSocket> bodies[2];
        for (int i = 0; i < 2; ++i) {
            const QByteArray sync = RawHttp::formPost("sync/syncpc2.php", QByteArray(lengths[i], 'x'));
            bodies[i] =
                RawHttp::sent(service.baseUrl(), sync.chopped(lengths[i] - 100), QString("127.0.0.%1").arg(2 + i));
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(service.waitForLog(QString("the body of a request from 127.0.0.%1, %2 bytes, has %3 s to come")
                                           .arg(2 + i)
                                           .arg(lengths[i])
                                           .arg(allowedSeconds[i])
                                           .toUtf8()));
            // Its client never sends the rest: the service ends it, at that time or, on a busy machine, later; never
            // earlier, which no load can bring about.
            QVERIFY(bodies[i]->state() == QAbstractSocket::UnconnectedState ||
                    bodies[i]->waitForDisconnected(allowedSeconds[i] * 1000 + 120000));
            QVERIFY2(clock.elapsed() >= allowedSeconds[i] * 1000,
                     qPrintable(QString("a body of %1 bytes ended after %2 ms").arg(lengths[i]).arg(clock.elapsed())));
        }
    }
};

QTEST_GUILESS_MAIN(TestSlowClients)
#include "tst_slowclients.moc"
