#include "online/httphelper.h"
#include "pacedupload.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
// The fewest connections the service serves at once, as --max-connections takes them.
const int fewestConnections = 16;

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

// A login or a sync as the owner: from the address, to the path, with a header naming a client (or none), and the
// error expected (0: signed in).
struct OwnerStep
{
    const char* from;
    const char* path;
    const char* header;
    const char* password;
    int error;
};

// Runs the steps in order; the first whose answer is not an HTTP 200 with its error (a refusal past the throttle
// with its message), described.
QString firstUnexpected(const ServiceProcess& service, const QList<OwnerStep>& steps)
{
    for (const OwnerStep& step : steps) {
        const QByteArray header = *step.header ? QByteArray(step.header) + "\r\n" : QByteArray();
        const QByteArray answer = RawHttp::exchange(
            service.baseUrl(), RawHttp::formPost(step.path, accountForm("owner", step.password), header), step.from);
        if (!answer.startsWith("HTTP/1.1 200 OK|") || RawHttp::error(answer) != step.error ||
            (step.error == 4 && !answer.contains("稍后再试")))
            return QString("%1 %2 %3: %4").arg(step.from, step.header, step.password, QString::fromUtf8(answer));
    }
    return QString();
}

// Heads from as many addresses, from 127.0.0.FIRST on, that go on coming a line at a time for a second, so that the
// service reads each of them all along; their last line still to come.
std::vector<std::unique_ptr<QTcpSocket>> tricklingHeads(const ServiceProcess& service, int first, int count)
{
    std::vector<std::unique_ptr<QTcpSocket>> heads;
    for (int i = 0; i < count; ++i)
        heads.push_back(RawHttp::connect(service.baseUrl(), QString("127.0.0.%1").arg(first + i)));
    for (int i = 0; i < 10; ++i) {
        for (const auto& head : heads) {
            head->write(i == 0 ? "GET /weibo HTTP/1.1\r\n" : "X: y\r\n");
            head->waitForBytesWritten(1000);
        }
        heads.front()->waitForReadyRead(100);
    }
    return heads;
}

bool served(const ServiceProcess& service, const QString& from = "127.0.0.1")
{
    return RawHttp::exchange(service.baseUrl(), news, from).startsWith("HTTP/1.1 200 OK|");
}
} // namespace

// Clients that try to hold the service's connections, memory, time or turns or to guess passwords, as hostile ones do.
class TestHostileClients : public QObject
{
    Q_OBJECT

private slots:
    // The services started here say when a request takes its turn, which tests wait for.
    void initTestCase() { qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true"); }

    // A head sent a piece at a time is read within the head time from its first byte, however often its pieces come:
    // one whose pieces come in time is answered, and one that trickles on is closed once the head time is over, long
    // before the idle time that a silent connection gets. Its pieces come four a second for up to a minute, time for
    // a loaded machine to close it at the 2 s head time, and half the 120 s idle time.
    void headTimeIsNotRenewedByEachByte_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("answered");
        QTest::newRow("in time") << 3 << true;
        QTest::newRow("trickling past the head time") << 240 << false;
    }

    void headTimeIsNotRenewedByEachByte()
    {
        QFETCH(int, pieces);
        QFETCH(bool, answered);
        ServiceProcess service({"--head-timeout", "2", "--idle-timeout", "120"});
        const std::unique_ptr<QTcpSocket> socket = RawHttp::connect(service.baseUrl());
        QElapsedTimer trickling;
        trickling.start();
        socket->write("GET /weibo HTTP/1.1\r\n");
        int sent = 0;
        for (; sent < pieces && socket->state() == QAbstractSocket::ConnectedState; ++sent) {
            socket->waitForDisconnected(250);
            socket->write("X: y\r\n");
            socket->flush();
        }
        const qint64 closedAfter = trickling.elapsed();
        socket->write("\r\n");
        const QByteArray answer = RawHttp::answer(*socket);
        QCOMPARE(answer.startsWith("HTTP/1.1 200 OK|"), answered);
        // Closed while its pieces were still coming, after the head time and before the idle time.
        if (!answered) {
            QVERIFY2(sent < pieces, qPrintable(QString("still open after %1 ms").arg(closedAfter)));
            QVERIFY2(closedAfter >= 2000, qPrintable(QString("closed after %1 ms").arg(closedAfter)));
        }
    }

    // An address may hold only so many connections: one over the cap is closed at once, while the others keep their
    // places, and another address is served meanwhile; a place given back is taken again. The idle time is far longer
    // than the test takes on a loaded machine.
    void capsEachAddress()
    {
        ServiceProcess service({"--idle-timeout", "600", "--connections-per-address", "2"});
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i)
            held.push_back(RawHttp::connect(service.baseUrl()));
        QVERIFY(held.at(2)->waitForDisconnected(30000));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.2").startsWith("HTTP/1.1 200 OK|"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news).isEmpty());
        for (int i = 0; i < 2; ++i)
            QCOMPARE(held.at(i)->state(), QAbstractSocket::ConnectedState);
        held.at(0)->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(served(service), 30000);
    }

    // Connections that send nothing are closed once the idle time is over, not before, and their address is served
    // again.
    void closesIdleConnections()
    {
        ServiceProcess service({"--idle-timeout", "3", "--connections-per-address", "2"});
        QElapsedTimer silent;
        silent.start();
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 2; ++i)
            idle.push_back(RawHttp::connect(service.baseUrl()));
        for (const auto& socket : idle)
            QVERIFY(socket->state() == QAbstractSocket::UnconnectedState || socket->waitForDisconnected(60000));
        QVERIFY2(silent.elapsed() >= 3000, qPrintable(QString("closed after %1 ms").arg(silent.elapsed())));
        QVERIFY(served(service));
    }

    // When every place is taken, a new connection is admitted by closing the one that has gone longest without
    // progress: an answer its client has stopped taking goes before requests still coming in.
    void connectionCapClosesTheStalest()
    {
        // Larger than what the system buffers between the two ends, so that the answer is still being written.
        const qint64 size = 64 * 1024 * 1024;
        QTemporaryDir dir;
        QFile installer(dir.filePath("setup.exe"));
        QVERIFY(installer.open(QIODevice::WriteOnly) && installer.resize(size));
        installer.close();
        ServiceProcess service(
            {"--max-connections", QString::number(fewestConnections), "--installer", installer.fileName()});

        const std::unique_ptr<QTcpSocket> download = RawHttp::connect(service.baseUrl());
        download->setReadBufferSize(64 * 1024);
        download->write("GET /download/quillbay-setup.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(download->waitForReadyRead(30000));
        // Heads in every other place that go on coming a line at a time while the download stalls.
        const auto heads = tricklingHeads(service, 2, fewestConnections - 1);

        QVERIFY(served(service, "127.0.0.100"));
        for (const auto& head : heads) {
            head->write("\r\n");
            QVERIFY(RawHttp::answer(*head).startsWith("HTTP/1.1 200 OK|"));
        }
        download->setReadBufferSize(0);
        QByteArray received;
        while (download->waitForReadyRead(60000) || download->bytesAvailable() > 0)
            received += download->readAll();
        QVERIFY2(received.size() < size, qPrintable(QString::number(received.size())));
    }

    // At the cap, the connection closed for a newcomer is one the service reads or writes: a request it does not read
    // meanwhile, in line for its turn or waiting for room, is never closed for want of places, and is answered. The
    // first request holds what the second waits for, its body coming at an honest pace; then heads trickle in in every
    // other place, and a newcomer comes.
    void connectionCapSparesWaitingRequests_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("waits");
        QTest::newRow("in line for its turn") << QStringList{"--large-requests", "1"} << 2 * 1024 * 1024
                                              << QByteArray("a large request from 127.0.0.3 waits in line");
        QTest::newRow("waiting for room")
            << QStringList{"--request-memory", "1"} << 500000 << QByteArray("a request from 127.0.0.3 waits for room");
    }

    void connectionCapSparesWaitingRequests()
    {
        QFETCH(QStringList, options);
        QFETCH(int, size);
        QFETCH(QByteArray, waits);
        ServiceProcess service(QStringList{"--max-connections", QString::number(fewestConnections)} + options);
        PacedUpload holder(service.baseUrl(), paddedForm("sync/syncpc2.php", qMax(size, 900000)), "127.0.0.2",
                           100 * 1024);
        QVERIFY(service.waitForLog("the body of a request from 127.0.0.2 has its room"));
        const std::unique_ptr<QTcpSocket> waiting =
            RawHttp::sent(service.baseUrl(), paddedForm("sync/syncpc2.php", size), "127.0.0.3");
        QVERIFY(service.waitForLog(waits));

        // Heads that go on coming a line at a time, for a second: the waiting request made no progress for longer
        // than any connection the service reads.
        const auto heads = tricklingHeads(service, 4, fewestConnections - 2);
        QVERIFY(served(service, "127.0.0.100"));
        QVERIFY(service.log().contains(
            QString("all %1 connections taken: closed the one being read or written").arg(fewestConnections).toUtf8()));
        QCOMPARE(RawHttp::error(RawHttp::answer(*waiting, 120000)), 1);
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
        QVERIFY(first->waitForBytesWritten(30000));
        QVERIFY(service.waitForLog("a large request from 127.0.0.1 took its turn"));

        const QByteArray second = RawHttp::exchange(service.baseUrl(), large, "127.0.0.2");
        QCOMPARE(RawHttp::error(second), 3);
        QVERIFY(second.contains("繁忙"));
        QVERIFY(service.waitForLog("a large request from 127.0.0.2 waited its turn in vain"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.3").startsWith("HTTP/1.1 200 OK|"));

        // The first, once whole, is answered, and then the next large one gets its turn without waiting in vain.
        first->write(large.mid(large.size() / 2));
        QCOMPARE(RawHttp::error(RawHttp::answer(*first)), 1);
        QCOMPARE(RawHttp::error(RawHttp::exchange(service.baseUrl(), large, "127.0.0.2")), 1);
        QCOMPARE(service.log().count("a large request from 127.0.0.2 took its turn"), 1);
        QCOMPARE(service.log().count("waited its turn in vain"), 1);
    }

    // An address may have only a few requests waiting for a worker, and a request of another address goes before
    // them: one that keeps the workers busy delays others by one request's work, not by all it sent.
    void sharesTheWorkersAmongAddresses()
    {
        // Every login of an unknown name costs a key derivation of this many rounds, long enough to be seen waiting.
        ServiceProcess service({"--workers", "1", "--waiting-per-address", "2", "--key-iterations", "1000000"});
        const QByteArray login = RawHttp::formPost("sync/userid.php", accountForm("nobody", "pw"));
        // One worked on, two waiting, and one more refused, in that order; only then the other address's.
        std::vector<std::unique_ptr<QTcpSocket>> busy;
        busy.push_back(RawHttp::sent(service.baseUrl(), login, "127.0.0.2"));
        QVERIFY(service.waitForLog("a worker took a request of 127.0.0.2"));
        for (int i = 0; i < 3; ++i)
            busy.push_back(RawHttp::sent(service.baseUrl(), login, "127.0.0.2"));
        QVERIFY(service.waitForLog("requests from 127.0.0.2 that wait for a worker are at their cap of 2"));
        const std::unique_ptr<QTcpSocket> other = RawHttp::sent(service.baseUrl(), login, "127.0.0.3");
        QCOMPARE(RawHttp::error(RawHttp::answer(*other, 60000)), 1);
        // Of the busy address's, one was worked on, one refused, and two still wait.
        const auto answered = [](const std::unique_ptr<QTcpSocket>& socket) {
            return socket->bytesAvailable() > 0 || socket->waitForReadyRead(0);
        };
        QCOMPARE(std::count_if(busy.cbegin(), busy.cend(), answered), 2);
        QList<int> errors;
        for (const auto& socket : busy)
            errors << RawHttp::error(RawHttp::answer(*socket, 60000));
        std::sort(errors.begin(), errors.end());
        QCOMPARE(errors, (QList<int>{1, 1, 1, 3}));
    }

    // Before a worker takes a request, it is told apart by what it may cost: an upload of more than a few hundred
    // kilobytes is expensive; the rest is cheap until the store says otherwise, as for a device's first sync of an
    // account that holds nothing.
    void toldApartByCostBeforeAWorkerTakesThem_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("cost");
        const auto later = [](int rows, int titleSize) {
            const auto syncTime = [](const QString& time) { return HttpHelper::encodeForm({{"sync_time", time}}); };
            return RawHttp::sync("owner", "pw", rows, titleSize)
                .replace(syncTime("2008-08-08 08:08:08"), syncTime("2024-05-01 11:00:00"));
        };
        QTest::newRow("login") << RawHttp::formPost("sync/userid.php", accountForm("owner", "pw"))
                               << QByteArray("cheap");
        QTest::newRow("later sync") << later(10, 10) << QByteArray("cheap");
        QTest::newRow("later sync of 190 KB") << later(600, 260) << QByteArray("cheap");
        QTest::newRow("first sync") << RawHttp::sync("owner", "pw") << QByteArray("cheap");
        QTest::newRow("later sync of 320 KB") << later(1000, 260) << QByteArray("expensive");
    }

    void toldApartByCostBeforeAWorkerTakesThem()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, cost);
        ServiceProcess service;
        QVERIFY(service.addAccount("owner", "pw"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), request, "127.0.0.7").startsWith("HTTP/1.1 200 OK|"));
        QVERIFY(service.waitForLog("a worker took a request of 127.0.0.7 ("));
        QVERIFY2(service.log().contains("a worker took a request of 127.0.0.7 (" + cost + ")"), service.log());
    }

    void refusesOversizedBodies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("error");
        QTest::newRow("by its length, before it is sent")
            << QByteArray("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 67108865\r\n\r\n")
            << 2;
        // A form of exactly its path's limit is read, and answered as any other with a wrong account.
        QTest::newRow("a login of exactly its limit") << paddedForm("sync/userid.php", 8 * 1024) << 1;
        QTest::newRow("a login a byte over") << paddedForm("sync/userid.php", 8 * 1024 + 1) << 2;
        QTest::newRow("a sign-up a byte over") << paddedForm("", 8 * 1024 + 1) << 2;
        QTest::newRow("feedback a byte over") << paddedForm("client/feedback.php", 3 * 64 * 1024 + 4 * 1024 + 1) << 2;
        // Lengths that no signed 64-bit number holds, with a byte of body after them.
        for (const char* length : {"9223372036854775808", "18446744073709551615"})
            QTest::newRow(length) << QByteArray(
                                         "POST /sync/userid.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: ") +
                                         length + "\r\n\r\nx"
                                  << 2;
    }

    void refusesOversizedBodies()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, error);
        ServiceProcess service;
        const QByteArray answer = RawHttp::exchange(service.baseUrl(), request);
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|"), answer.left(100));
        QCOMPARE(RawHttp::error(answer), error);
        QVERIFY(served(service));
    }

    // A table may have 64 columns: a row of that many is kept, and answered whole.
    void keepsARowOfAsManyColumnsAsATableMayHave()
    {
        ServiceProcess service;
        QVERIFY(service.addAccount("owner", "pw"));
        QStringList columns{"id", "version"};
        for (int i = 2; i < 64; ++i)
            columns << "c" + QString::number(i);
        const QStringList row = QStringList{"Z", "2024-05-01 10:00:00"} + columns.mid(2);
        // JSON lists as the service writes them.
        const auto list = [](const QStringList& texts) { return ("[ \"" + texts.join("\", \"") + "\" ]").toUtf8(); };
        RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw", list(columns), {list(row)}));
        const QByteArray answer = RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw", list(columns), {}));
        QVERIFY2(answer.contains(list(row)), answer.left(2000));
    }

    // A head that cannot be read as HTTP is told so before the connection closes.
    void answersUnreadableHeads_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("a second length that differs")
            << QByteArray("POST /sync/userid.php HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello");
        QTest::newRow("a length that is no number")
            << QByteArray("POST /sync/userid.php HTTP/1.1\r\nContent-Length: 5x\r\n\r\nhello");
        QTest::newRow("a length past 64 bits")
            << QByteArray("POST /sync/userid.php HTTP/1.1\r\nContent-Length: 18446744073709551616\r\n\r\nx");
        QTest::newRow("a request line without a version") << QByteArray("GET /weibo\r\n\r\n");
        QTest::newRow("lines ended by a bare line feed") << QByteArray("GET /weibo HTTP/1.1\nHost: 127.0.0.1\n\n");
    }

    void answersUnreadableHeads()
    {
        QFETCH(QByteArray, request);
        ServiceProcess service;
        const QByteArray answer = RawHttp::exchange(service.baseUrl(), request);
        QVERIFY2(answer.startsWith("HTTP/1.1 400 Bad Request|"), answer.left(100));
        QVERIFY(served(service));
    }

    // An answer too large to hold waits in a file of the data folder that only the service's user may read. A client
    // that takes none of it for the stall time loses its connection, and the file goes with it; one that takes a
    // little now and then, however little, gets the whole answer.
    void closesAStalledReader_data()
    {
        QTest::addColumn<int>("takenEachPause");
        QTest::newRow("taking nothing") << 0;
        QTest::newRow("taking a little") << 64 * 1024;
    }

    void closesAStalledReader()
    {
        QFETCH(int, takenEachPause);
        ServiceProcess service({"--write-stall-timeout", "2", "--connections-per-address", "1"});
        QVERIFY(service.addAccount("owner", "pw"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::sync("owner", "pw", 100, 150000)).contains("table_name"));
        const QDir spool(service.dataDir() + "/answers");

        const std::unique_ptr<QTcpSocket> reader = RawHttp::connect(service.baseUrl());
        // What the system holds for the reader is small too, so that what it takes reaches the service soon.
        reader->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
        reader->setReadBufferSize(64 * 1024);
        reader->write(RawHttp::sync("owner", "pw"));
        QTRY_COMPARE_WITH_TIMEOUT(spool.entryInfoList(QDir::Files).size(), 1, 30000);
        const QFileInfo file = spool.entryInfoList(QDir::Files).constFirst();
        QCOMPARE(file.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        // The address holds its only place for as long as the service keeps the reader's connection.
        QVERIFY(!served(service));
        QByteArray received;
        if (takenEachPause > 0) {
            // A slow client's pace, for three times the stall time: the pauses are the client's, not a wait.
            for (int i = 0; i < 12; ++i) {
                QTest::qWait(500);
                received += reader->read(takenEachPause);
            }
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(served(service), 30000);
            QVERIFY(spool.entryInfoList(QDir::Files).isEmpty());
        }
        reader->setReadBufferSize(0);
        while (reader->waitForReadyRead(60000) || reader->bytesAvailable() > 0)
            received += reader->readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n") + 4;
        const QByteArray length = "Content-Length: " + QByteArray::number(received.size() - headEnd) + "\r\n";
        QCOMPARE(received.left(headEnd).contains(length), takenEachPause > 0);
    }

    // Password checks are counted per client address: past the limit an address is refused without a check, even
    // with the right password, while the account's owner on another address is still served. A check whose key
    // cannot be derived is work that failed, no wrong password, and counts for nothing: here the owner's key is kept
    // with a count of rounds the crypto library refuses for more checks than the limit, and then with its own again.
    void throttlesPasswordGuessingPerAddress()
    {
        ServiceProcess service({"--login-failures-per-address", "3"});
        QVERIFY(service.addAccount("owner", "pw"));
        const QString unexpected = firstUnexpected(service, {{"127.0.0.2", "sync/userid.php", "", "guess1", 1},
                                                             {"127.0.0.2", "sync/syncpc2.php", "", "guess2", 1},
                                                             {"127.0.0.2", "sync/userid.php", "", "pw", 0},
                                                             {"127.0.0.2", "sync/userid.php", "", "guess3", 1},
                                                             {"127.0.0.2", "sync/userid.php", "", "pw", 4},
                                                             {"127.0.0.2", "sync/syncpc2.php", "", "pw", 4},
                                                             {"127.0.0.1", "sync/userid.php", "", "pw", 0},
                                                             {"127.0.0.3", "sync/userid.php", "", "guess4", 1}});
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected));

        const QStringList turnRounds{"update accounts set iterations = -iterations where name = 'owner'"};
        QVERIFY(service.execOnStore(turnRounds));
        const QString failedWork = firstUnexpected(service, {{"127.0.0.4", "sync/userid.php", "", "pw", 3},
                                                             {"127.0.0.4", "sync/syncpc2.php", "", "pw", 3},
                                                             {"127.0.0.4", "sync/userid.php", "", "pw", 3},
                                                             {"127.0.0.4", "sync/syncpc2.php", "", "pw", 3}});
        QVERIFY2(failedWork.isEmpty(), qPrintable(failedWork));
        QVERIFY(service.execOnStore(turnRounds));
        const QString afterFailedWork = firstUnexpected(service, {{"127.0.0.4", "sync/userid.php", "", "pw", 0}});
        QVERIFY2(afterFailedWork.isEmpty(), qPrintable(afterFailedWork));
    }

    // Behind trusted proxies each client counts under the right-most address that is no trusted proxy's, whatever was
    // forged left of it; under the left-most when all are; under the proxy that wrote an element naming no address.
    // X-Forwarded-For goes before Forwarded. From any other peer the headers naming one count for nothing. An IPv6
    // client counts by its /64, an IPv4 one as itself, mapped into IPv6 or not.
    void countsTheClientATrustedProxyNames()
    {
        ServiceProcess service(
            {"--trusted-proxy", "127.0.0.5", "--trusted-proxy", "127.0.0.7", "--login-failures-per-address", "2"});
        QVERIFY(service.addAccount("owner", "pw"));
        const char* const login = "sync/userid.php";
        const QString unexpected = firstUnexpected(
            service, {{"127.0.0.5", login, "X-Forwarded-For: 127.0.0.9", "guess", 1},
                      {"127.0.0.5", login, "X-Forwarded-For: 10.0.0.1, 10.0.0.2, 127.0.0.9", "guess", 1},
                      {"127.0.0.5", login, "X-Forwarded-For: 127.0.0.9", "pw", 4},
                      {"127.0.0.5", login, "X-Forwarded-For: 127.0.0.7,, 10.0.0.1, 127.0.0.9, 127.0.0.7,", "pw", 4},
                      {"127.0.0.5", login, "Forwarded: for=10.0.0.1\r\nX-Forwarded-For: 127.0.0.9", "pw", 4},
                      {"127.0.0.5", login, "X-Forwarded-For: ::ffff:127.0.0.9", "pw", 4},
                      {"127.0.0.5", login, "X-Forwarded-For: 127.0.0.9\r\nX-Forwarded-For: 127.0.0.1", "pw", 0},
                      {"127.0.0.5", login, "", "guess", 1},
                      {"127.0.0.5", login, "Forwarded: for=\"[2001:db8::1]:4711\";proto=http", "guess", 1},
                      {"127.0.0.5", login, "Forwarded: for=127.0.0.9, for=\"[2001:db8::2]\"", "guess", 1},
                      {"127.0.0.5", login, "X-Forwarded-For: 2001:db8::1:0:0:3", "pw", 4},
                      {"127.0.0.5", login, "X-Forwarded-For: 2001:db8:0:1::1", "pw", 0},
                      {"127.0.0.5", login, "X-Forwarded-For: 127.0.0.7, 127.0.0.5", "guess", 1},
                      {"127.0.0.5", login, "X-Forwarded-For: 127.0.0.7, 127.0.0.5", "guess", 1},
                      {"127.0.0.5", login, "X-Forwarded-For: 10.0.0.1, unknown, 127.0.0.7", "pw", 4},
                      {"127.0.0.6", login, "X-Forwarded-For: 127.0.0.1", "guess", 1},
                      {"127.0.0.6", login, "X-Forwarded-For: 127.0.0.2", "guess", 1},
                      {"127.0.0.6", login, "X-Forwarded-For: 127.0.0.3", "pw", 4},
                      {"127.0.0.1", login, "", "pw", 0}});
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected));
    }

    // Guesses that come at once are held to the limit as exactly as guesses one after another.
    void throttlesGuessesThatComeAtOnce()
    {
        // Checks so costly that each worker is still checking when the others take their guesses.
        // Room for every guess to wait for a worker: those refused as the service being busy would reach no check.
        ServiceProcess service({"--workers", "16", "--key-iterations", "1000000", "--waiting-per-address", "32"});
        std::vector<std::unique_ptr<QTcpSocket>> guesses;
        for (int i = 0; i < 32; ++i) {
            guesses.push_back(RawHttp::connect(service.baseUrl(), "127.0.0.2"));
            guesses.back()->write(
                RawHttp::formPost("sync/userid.php", accountForm("owner", "guess" + QString::number(i))));
            guesses.back()->flush();
        }
        int checked = 0;
        for (const auto& guess : guesses)
            checked += RawHttp::error(RawHttp::answer(*guess, 60000)) == 1 ? 1 : 0;
        QCOMPARE(checked, 10);
    }

    // Refusing a name that has no account costs the key derivation a known name costs, so that the time taken does
    // not tell names apart; a refusal past the throttle costs none. The cost is the service's processor time, which
    // other work on the machine does not add to.
    void refusalTimeDoesNotTellNamesApart()
    {
        // Keys so costly that a derivation stands out from everything else a request costs.
        ServiceProcess service({"--key-iterations", "1000000", "--login-failures-per-address", "3"});
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::formPost("", accountForm("known", "password")))
                    .contains("注册成功"));
        const auto refusalWork = [&service](const QString& name) {
            const qint64 before = service.processorMs();
            const QByteArray answer = RawHttp::exchange(
                service.baseUrl(), RawHttp::formPost("sync/userid.php", accountForm(name, "wrong")), "127.0.0.2");
            return std::make_pair(RawHttp::error(answer), service.processorMs() - before);
        };
        const auto [knownError, knownMs] = refusalWork("known");
        const auto [unknownError, unknownMs] = refusalWork("unknown");
        QCOMPARE(knownError, 1);
        QCOMPARE(unknownError, 1);
        refusalWork("unknown");
        const auto [throttledError, throttledMs] = refusalWork("known");
        QCOMPARE(throttledError, 4);
        const QString work = QString("known %1 ms, unknown %2 ms, throttled %3 ms of processor time")
                                 .arg(knownMs)
                                 .arg(unknownMs)
                                 .arg(throttledMs);
        QVERIFY2(unknownMs * 3 > knownMs, qPrintable(work));
        QVERIFY2(throttledMs * 3 < knownMs, qPrintable(work));
    }
};

QTEST_GUILESS_MAIN(TestHostileClients)
#include "tst_hostileclients.moc"
