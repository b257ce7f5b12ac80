#include "online/datecheckthread.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace {
const QString notice = "您电脑的时间和网络时间不一致，请检查。\n电脑时间：";

// A daytime server on 127.0.0.1 that writes its whole reply at once and closes, or keeps silent.
class DaytimeServer : public QTcpServer
{
public:
    explicit DaytimeServer(const QByteArray& reply) : m_reply(reply)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++connections;
                socket->setParent(this);
                if (!m_reply.isEmpty()) {
                    socket->write(m_reply);
                    socket->disconnectFromHost();
                }
            }
        });
    }
    QString endpoint() const { return QString("127.0.0.1:%1").arg(serverPort()); }

    int connections = 0;

private:
    QByteArray m_reply;
};

QByteArray daytime(const QDateTime& utc)
{
    return "\n60374 " + utc.toString("yy-MM-dd hh:mm:ss").toLatin1() + " 00 0 0 0.0 UTC(NIST) *\n";
}

} // namespace

class TestDateCheckThread : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("QUILLBAY_TIME_SERVERS"); }

    void warning_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("same day, other time of day") << QByteArray("\n60374 24-03-05 23:59:59 00 0 0 0.0 UTC(NIST) *\n")
            << "2024-03-05 00:00:01" << "";
        QTest::newRow("minutes either side of midnight") << QByteArray("60373 24-03-04 23:58:00 00 0 0 0.0 UTC(NIST) *")
            << "2024-03-05 00:03:00" << notice + "2024-03-05 00:03:00\n网络时间：2024-03-04 23:58:00";
        QTest::newRow("days behind") << QByteArray("60374 24-03-05 08:15:42 00 0 0 0.0 UTC(NIST) *\r\n\0junk", 53)
            << "2024-03-01 09:00:00" << notice + "2024-03-01 09:00:00\n网络时间：2024-03-05 08:15:42";
        QTest::newRow("no time in the reply") << QByteArray("HTTP/1.0 400 Bad Request") << "2024-03-05 00:00:00" << "unreadable";
        // clang-format on
    }
    void warning()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, computer);
        QFETCH(QString, expected);
        const QDateTime network = DateCheckThread::networkTime(reply);
        if (!network.isValid()) {
            QCOMPARE(QString("unreadable"), expected);
            return;
        }
        QDateTime now = QDateTime::fromString(computer, "yyyy-MM-dd hh:mm:ss");
        now.setTimeZone(QTimeZone::utc());
        QCOMPARE(DateCheckThread::warning(now, network), expected);
    }

    // The servers are asked in turn; the first one that answers with a time decides, and no later one is asked.
    void firstAnswerDecides_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<bool>("warned");
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QTest::newRow("same day silent") << daytime(now) << false;
        QTest::newRow("a day apart warned") << daytime(now.addDays(-1)) << true;
        QTest::newRow("unreadable reply passed over") << QByteArray("busy") << false;
    }
    void firstAnswerDecides()
    {
        QFETCH(QByteArray, first);
        QFETCH(bool, warned);
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QString refused = QString("127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        DaytimeServer answering(first);
        const QDateTime later = QDateTime::currentDateTimeUtc();
        DaytimeServer next(daytime(later));
        DaytimeServer never(daytime(later.addDays(3)));
        qputenv("QUILLBAY_TIME_SERVERS",
                QStringList{refused, answering.endpoint(), next.endpoint(), never.endpoint()}.join(',').toUtf8());

        DateCheckThread thread;
        QSignalSpy warnings(&thread, &DateCheckThread::incorrectDate);
        thread.start();
        QTRY_VERIFY(thread.isFinished());
        QCoreApplication::processEvents();
        QCOMPARE(warnings.size(), warned ? 1 : 0);
        if (warned) {
            const QString text = warnings.at(0).at(0).toString();
            QVERIFY2(text.startsWith(notice), qPrintable(text));
            QVERIFY2(
                text.endsWith("\n网络时间：" + DateCheckThread::networkTime(first).toString("yyyy-MM-dd hh:mm:ss")),
                qPrintable(text));
        }
        QCOMPARE(answering.connections, 1);
        // Only an unreadable first answer lets the next server be asked.
        QCOMPARE(next.connections, first == "busy" ? 1 : 0);
        QCOMPARE(never.connections, 0);
    }

    void quittingMidCheckEndsPromptly()
    {
        DaytimeServer silent{QByteArray()};
        qputenv("QUILLBAY_TIME_SERVERS", silent.endpoint().toUtf8());
        auto thread = std::make_unique<DateCheckThread>();
        QSignalSpy warnings(thread.get(), &DateCheckThread::incorrectDate);
        thread->start();
        QTRY_COMPARE(silent.connections, 1);
        QElapsedTimer clock;
        clock.start();
        thread.reset();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(warnings.size(), 0);
    }
};

QTEST_MAIN(TestDateCheckThread)
#include "tst_datecheckthread.moc"
