#include "online/httphelper.h"
#include "online/json.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// The "error" of a JSON answer as RawHttp gives it; 0 for none.
int errorOf(const QByteArray& answer)
{
    return JSON::getInstance()->toMap(QString::fromUtf8(answer.mid(answer.indexOf('|') + 1))).value("error").toInt();
}

QByteArray accountForm(const QString& name, const QString& password)
{
    return HttpHelper::encodeForm({{"username", name}, {"password", password}});
}

// A post to the path of a form that names no account, its body padded to the length given.
QByteArray paddedForm(const QString& path, int length)
{
    const QByteArray form = "username=nobody&password=pw&data=";
    return RawHttp::formPost(path, form + QByteArray(length - form.size(), 'x'));
}
} // namespace

// Clients that try to hold the service's connections, memory, time or turns or to guess passwords, as hostile ones do.
class TestHostileClients : public QObject
{
    Q_OBJECT

private slots:
    // A head sent a piece at a time is read within the head time from its first byte, however often its pieces come.
    void headTimeIsNotRenewedByEachByte_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("answered");
        QTest::newRow("in time") << 3 << true;
        QTest::newRow("trickling past the head time") << 1000 << false;
    }

    void headTimeIsNotRenewedByEachByte()
    {
        QFETCH(int, pieces);
        QFETCH(bool, answered);
        ServiceProcess service({"--head-timeout", "2"});
        const std::unique_ptr<QTcpSocket> socket = RawHttp::connect(service.baseUrl());
        QElapsedTimer sent;
        sent.start();
        socket->write("GET /weibo HTTP/1.1\r\n");
        for (int i = 0; i < pieces && socket->state() == QAbstractSocket::ConnectedState; ++i) {
            socket->waitForDisconnected(250);
            socket->write("X: y\r\n");
            socket->flush();
        }
        socket->write("\r\n");
        const QByteArray answer = RawHttp::answer(*socket);
        QCOMPARE(answer.startsWith("HTTP/1.1 200 OK|"), answered);
        if (!answered)
            QVERIFY2(sent.elapsed() < 8000, qPrintable(QString::number(sent.elapsed())));
    }

    void closesIdleConnectionsAndCapsEachAddress()
    {
        ServiceProcess service({"--idle-timeout", "2", "--connections-per-address", "2"});
        QElapsedTimer opened;
        opened.start();
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 3; ++i)
            idle.push_back(RawHttp::connect(service.baseUrl()));
        // One over the cap is closed at once, and another address is served meanwhile.
        QVERIFY(idle.at(2)->waitForDisconnected(1000));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.2").startsWith("HTTP/1.1 200 OK|"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news).isEmpty());
        // The others when they have sent nothing for the idle time; then the address is served again.
        QVERIFY(idle.at(0)->waitForDisconnected(5000));
        QVERIFY(idle.at(1)->state() == QAbstractSocket::UnconnectedState || idle.at(1)->waitForDisconnected(1000));
        QVERIFY(opened.elapsed() > 1500);
        QVERIFY(RawHttp::exchange(service.baseUrl(), news).startsWith("HTTP/1.1 200 OK|"));
    }

    // When every place is taken, a new connection is admitted by closing the one that has waited longest without a
    // whole request; an answer being written is never cut off.
    void connectionCapClosesTheLongestWaiting()
    {
        // Larger than what the system buffers between the two ends, so that the answer is still being written.
        const qint64 size = 64 * 1024 * 1024;
        QTemporaryDir dir;
        QFile installer(dir.filePath("setup.exe"));
        QVERIFY(installer.open(QIODevice::WriteOnly) && installer.resize(size));
        installer.close();
        ServiceProcess service({"--max-connections", "3", "--installer", installer.fileName()});

        // A download that the client does not read yet: the service is answering it.
        const std::unique_ptr<QTcpSocket> download = RawHttp::connect(service.baseUrl());
        download->setReadBufferSize(64 * 1024);
        download->write("GET /download/quillbay-setup.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(download->waitForReadyRead(5000));
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (const char* from : {"127.0.0.2", "127.0.0.3"})
            idle.push_back(RawHttp::connect(service.baseUrl(), from));
        // Each newcomer takes the place of the connection that has waited longest, the others stay.
        for (std::size_t i = 0; i < 3; ++i) {
            idle.push_back(RawHttp::connect(service.baseUrl(), QString("127.0.0.%1").arg(4 + i)));
            QTRY_COMPARE(idle.at(i)->state(), QAbstractSocket::UnconnectedState);
            for (std::size_t later = i + 1; later < idle.size(); ++later)
                QCOMPARE(idle.at(later)->state(), QAbstractSocket::ConnectedState);
        }
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.9").startsWith("HTTP/1.1 200 OK|"));
        download->setReadBufferSize(0);
        QByteArray received;
        while (download->waitForReadyRead(5000) || download->bytesAvailable() > 0)
            received += download->readAll();
        QVERIFY(received.endsWith(QByteArray(64 * 1024, '\0')));
        QVERIFY(received.size() > size);
    }

    // Requests over 1 MB are worked on a few at a time; one that waits too long for its turn is told the service is
    // busy, and small requests are served meanwhile.
    void largeRequestWaitsItsTurn()
    {
        ServiceProcess service({"--large-requests", "1", "--large-request-wait", "2"});
        const QByteArray large = paddedForm("sync/syncpc2.php", 2 * 1024 * 1024);
        // The first holds the only turn while its body comes slowly.
        const std::unique_ptr<QTcpSocket> first = RawHttp::connect(service.baseUrl());
        first->write(large.left(large.size() / 2));
        QVERIFY(first->waitForBytesWritten(5000));
        QTest::qWait(200);

        QElapsedTimer waited;
        waited.start();
        const QByteArray second = RawHttp::exchange(service.baseUrl(), large, "127.0.0.2");
        QCOMPARE(errorOf(second), 3);
        QVERIFY(second.contains("繁忙"));
        QVERIFY(waited.elapsed() >= 1500);
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.3").startsWith("HTTP/1.1 200 OK|"));

        // The first, once whole, is answered, and then the next large one gets its turn at once.
        first->write(large.mid(large.size() / 2));
        QCOMPARE(errorOf(RawHttp::answer(*first)), 1);
        waited.restart();
        QCOMPARE(errorOf(RawHttp::exchange(service.baseUrl(), large, "127.0.0.2")), 1);
        QVERIFY(waited.elapsed() < 1500);
    }

    void refusesOversizedBodies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("error");
        QTest::newRow("by its length, before it is sent")
            << QByteArray("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 67108865\r\n\r\n")
            << 2;
        // A form of exactly its path's limit is read, and answered as any other with a wrong account.
        QTest::newRow("a form of exactly the limit") << paddedForm("sync/userid.php", 1024 * 1024) << 1;
        QTest::newRow("a byte over the limit") << paddedForm("sync/userid.php", 1024 * 1024 + 1) << 2;
    }

    void refusesOversizedBodies()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, error);
        ServiceProcess service;
        const QByteArray answer = RawHttp::exchange(service.baseUrl(), request);
        QVERIFY(answer.startsWith("HTTP/1.1 200 OK|"));
        QCOMPARE(errorOf(answer), error);
    }

    // Password checks are counted per client address: past the limit an address is refused without a check, even
    // with the right password, while the account's owner on another address is still served.
    void throttlesPasswordGuessingPerAddress()
    {
        ServiceProcess service({"--login-failures-per-address", "3"});
        QVERIFY(service.addAccount("owner", "pw"));
        // Each step: the address, the path, the password, the error expected (0: signed in).
        const struct
        {
            const char* from;
            const char* path;
            const char* password;
            int error;
        } steps[] = {{"127.0.0.2", "sync/userid.php", "guess1", 1}, {"127.0.0.2", "sync/syncpc2.php", "guess2", 1},
                     {"127.0.0.2", "sync/userid.php", "pw", 0},     {"127.0.0.2", "sync/userid.php", "guess3", 1},
                     {"127.0.0.2", "sync/userid.php", "pw", 4},     {"127.0.0.2", "sync/syncpc2.php", "pw", 4},
                     {"127.0.0.1", "sync/userid.php", "pw", 0},     {"127.0.0.3", "sync/userid.php", "guess4", 1}};
        for (const auto& step : steps) {
            const QByteArray answer = RawHttp::exchange(
                service.baseUrl(), RawHttp::formPost(step.path, accountForm("owner", step.password)), step.from);
            QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|"), answer.left(100));
            QCOMPARE(errorOf(answer), step.error);
            if (step.error == 4)
                QVERIFY(answer.contains("稍后再试"));
        }
    }

    // Guesses that come at once are held to the limit as exactly as guesses one after another.
    void throttlesGuessesThatComeAtOnce()
    {
        // Checks so costly that each worker is still checking when the others take their guesses.
        ServiceProcess service({"--workers", "16", "--key-iterations", "1000000"});
        std::vector<std::unique_ptr<QTcpSocket>> guesses;
        for (int i = 0; i < 32; ++i) {
            guesses.push_back(RawHttp::connect(service.baseUrl(), "127.0.0.2"));
            guesses.back()->write(
                RawHttp::formPost("sync/userid.php", accountForm("owner", "guess" + QString::number(i))));
            guesses.back()->flush();
        }
        int checked = 0;
        for (const auto& guess : guesses)
            checked += errorOf(RawHttp::answer(*guess, 60000)) == 1 ? 1 : 0;
        QCOMPARE(checked, 10);
    }

    // Refusing a name that has no account costs the key derivation a known name costs, so that the time taken does
    // not tell names apart; a refusal past the throttle costs none.
    void refusalTimeDoesNotTellNamesApart()
    {
        // Keys so costly that a derivation stands out from everything else a request costs.
        ServiceProcess service({"--key-iterations", "1000000", "--login-failures-per-address", "3"});
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::formPost("", accountForm("known", "password")))
                    .contains("注册成功"));
        const auto refusalMs = [&service](const QString& name) {
            QElapsedTimer timer;
            timer.start();
            const QByteArray answer = RawHttp::exchange(
                service.baseUrl(), RawHttp::formPost("sync/userid.php", accountForm(name, "wrong")), "127.0.0.2");
            return std::make_pair(errorOf(answer), timer.elapsed());
        };
        const auto [knownError, knownMs] = refusalMs("known");
        const auto [unknownError, unknownMs] = refusalMs("unknown");
        QCOMPARE(knownError, 1);
        QCOMPARE(unknownError, 1);
        refusalMs("unknown");
        const auto [throttledError, throttledMs] = refusalMs("known");
        QCOMPARE(throttledError, 4);
        const QString times =
            QString("known %1 ms, unknown %2 ms, throttled %3 ms").arg(knownMs).arg(unknownMs).arg(throttledMs);
        QVERIFY2(unknownMs * 3 > knownMs, qPrintable(times));
        QVERIFY2(throttledMs * 3 < knownMs, qPrintable(times));
    }
};

QTEST_GUILESS_MAIN(TestHostileClients)
#include "tst_hostileclients.moc"
