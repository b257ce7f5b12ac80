#include "online/httphelper.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
QByteArray syncHead(qint64 length)
{
    return "POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(length) +
           "\r\n\r\n";
}

// What a body or an answer of that length is given, in seconds: 30, or its length at 64 KB/s when longer.
double allowance(qint64 length)
{
    return qMax(30.0, double(length / (64 * 1024)));
}
} // namespace

// Clients that send their requests or take their answers slowly, or not at all, as hostile ones do: what they hold
// of the service's memory and time.
class TestSlowClients : public QObject
{
    Q_OBJECT

private slots:
    // Connections from many addresses that send bodies all but their last byte take the memory for requests and no
    // more: the rest of their bodies wait unread. A request of the owner's that needs more than a piece of memory
    // still finds room at once.
    void partialBodiesStayWithinTheBudget()
    {
        ServiceProcess service({"--request-memory", "1"});
        const qint64 length = 600000;
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 12; ++i) {
            crowd.push_back(RawHttp::connect(service.baseUrl(), QString("127.0.0.%1").arg(2 + i % 6)));
            crowd.back()->write(syncHead(length) + QByteArray(length - 1, 'x'));
            crowd.back()->flush();
        }
        QVERIFY(service.waitForLog("waits for room to be read"));

        // Each accented letter is six bytes when encoded: the form is over 64 KB.
        const QByteArray feedback = HttpHelper::encodeForm(
            {{"email", "owner@example.com"}, {"subject", "FNK PC 反馈"}, {"content", QString(11000, QChar(0xe9))}});
        const QByteArray answer =
            RawHttp::exchange(service.baseUrl(), RawHttp::formPost("client/feedback.php", feedback));
        QVERIFY2(answer.contains("success"), answer.constData());
    }

    // A body or an answer gets 30 seconds, or the time its length takes at 64 KB/s when that is longer, however
    // slowly its client sends or takes it; then its connection is closed. The three run side by side.
    void transferTimeGrowsWithLength()
    {
        // A download larger than what the system holds for a connection, so that its end waits in the service.
        QTemporaryDir dir;
        QFile installer(dir.filePath("setup.exe"));
        const qint64 answerLength = 5300000;
        QVERIFY(installer.open(QIODevice::WriteOnly) && installer.resize(answerLength));
        installer.close();
        // The reader takes nothing and is not closed for that sooner; one place per address tells when the service
        // has let its connection go.
        ServiceProcess service(
            {"--installer", installer.fileName(), "--write-stall-timeout", "300", "--connections-per-address", "1"});
        QElapsedTimer clock;
        clock.start();
        // What the system holds for the reader is small from the start, so that most of the answer waits unsent.
        QTcpSocket reader;
        reader.bind(QHostAddress("127.0.0.2"));
        reader.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 16 * 1024);
        reader.setReadBufferSize(1024);
        reader.connectToHost(QHostAddress::LocalHost, quint16(QUrl(service.baseUrl()).port()));
        reader.write("GET /download/quillbay-setup.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(reader.waitForReadyRead(30000));
        const qint64 answered = clock.elapsed();

        struct Body
        {
            std::unique_ptr<QTcpSocket> socket;
            qint64 length;
            qint64 sent;
        };
        // A body of the least time and one of a large request, which waits for no turn; each sends a little.
        std::vector<Body> bodies;
        for (const qint64 length : {qint64(1000), qint64(2500000)}) {
            const QString from = QString("127.0.0.%1").arg(3 + bodies.size());
            bodies.push_back({RawHttp::connect(service.baseUrl(), from), length, clock.elapsed()});
            bodies.back().socket->write(syncHead(length) + QByteArray(100, 'x'));
            bodies.back().socket->flush();
        }

        QMap<QString, double> ended;
        // A connection may end a little late on a busy machine, never early.
        const auto expect = [&ended](const QString& what, double seconds) {
            const double at = ended.value(what, -1);
            return at >= seconds - 2 && at <= seconds + 8
                       ? QString()
                       : QString("%1 ended after %2 s, given %3 s; ").arg(what).arg(at).arg(seconds);
        };
        while (clock.elapsed() < 100000 && ended.size() < 3) {
            for (const Body& body : bodies) {
                const QString what = QString("a body of %1 bytes").arg(body.length);
                if (!ended.contains(what) &&
                    (body.socket->state() != QAbstractSocket::ConnectedState || body.socket->waitForDisconnected(100)))
                    ended[what] = double(clock.elapsed() - body.sent) / 1000;
            }
            if (!ended.contains("the answer") &&
                RawHttp::exchange(service.baseUrl(), "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "127.0.0.2")
                    .startsWith("HTTP/1.1 200"))
                ended["the answer"] = double(clock.elapsed() - answered) / 1000;
        }
        const QString wrong = expect("a body of 1000 bytes", allowance(1000)) +
                              expect("a body of 2500000 bytes", allowance(2500000)) +
                              expect("the answer", allowance(answerLength));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
};

QTEST_GUILESS_MAIN(TestSlowClients)
#include "tst_slowclients.moc"
