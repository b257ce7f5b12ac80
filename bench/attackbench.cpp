#include "attackbench.h"

#include "attacktools.h"
#include "benchtiming.h"
#include "forwardingproxy.h"
#include "hostileconnection.h"
#include "legitclient.h"
#include "rawhttp.h"
#include "serviceprocess.h"
#include "servicewatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {
const int descriptors = 1024;
// A service that grows past this is stopped: the rows that would take the machine's memory end early instead.
const qint64 guardKb = 6LL * 1024 * 1024;
const int attackMs = 40000;
const QString attacker = "127.0.0.2";
// The address the proxy reaches the service from.
const QString proxyAddress = "127.0.0.50";
// What a first sync's answer takes for each bill, about.
const double answerBytesPerBill = 290;

QByteArray tinyRecordData()
{
    return changeSet("\"id\",\"version\"", 1500000,
                     [](int i) { return "[\"" + QByteArray::number(i, 36) + "\",\"2024-05-01 10:00:00\"]"; });
}

// Keeps `atOnce` connections of the `total` going, each made by `make` and looked at by `done` once closed. Runs
// its own event loop: waiting in steps would cap the pace of the connections.
void pump(int total, int atOnce, const std::function<HostileConnection*(int)>& make,
          const std::function<void(const HostileConnection&)>& done)
{
    QEventLoop loop;
    int started = 0;
    int finished = 0;
    std::function<void()> next = [&] {
        HostileConnection* connection = make(started++);
        QObject::connect(connection, &HostileConnection::closed, connection, [&, connection] {
            done(*connection);
            connection->deleteLater();
            if (++finished == total)
                loop.quit();
            else if (started < total)
                next();
        });
    };
    for (int i = 0; i < qMin(atOnce, total); ++i)
        next();
    loop.exec();
}
} // namespace

AttackBench::AttackBench(const QString& program, int accountMb, bool ownerFirstSyncs, int crowdAccounts, int processes)
    : m_program(program), m_accountMb(accountMb), m_ownerFirstSyncs(ownerFirstSyncs), m_crowdAccounts(crowdAccounts),
      m_processes(processes)
{
    m_trustsProxies = ServiceProcess::takesOption(program, "--trusted-proxy");
    // The flood of connections needs far more descriptors than a process starts with.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

const QList<AttackBench::Row>& AttackBench::attacks()
{
    static const QList<Row> all{
        {"slow-body", &AttackBench::slowBody},
        {"slow-head", &AttackBench::slowHead},
        {"slow-download", &AttackBench::slowDownload},
        {"connections", &AttackBench::connections},
        {"chunked", &AttackBench::chunked},
        {"tiny-records", &AttackBench::tinyRecords},
        {"bills", &AttackBench::bills},
        {"ones", &AttackBench::ones},
        {"four-large", &AttackBench::fourLarge},
        {"guessing", &AttackBench::guessing},
        {"name-timing", &AttackBench::nameTiming},
        {"signups", &AttackBench::signups},
        {"feedback", &AttackBench::feedback},
        {"huge-length", &AttackBench::hugeLength},
        {"long-ids", &AttackBench::longIds, nullptr, {}, descriptors, 0, 0, true},
        {"large-uploads", &AttackBench::largeUploads},
        {"unread-syncs", &AttackBench::unreadSyncs, &AttackBench::largeAccount},
        {"unread-answers", &AttackBench::unreadAnswers, &AttackBench::mediumAccount},
        {"proxy-guessing", &AttackBench::proxyGuessing, nullptr, {proxyAddress}},
        {"ampersand-login", &AttackBench::ampersandLogin},
        {"ampersand-flood", &AttackBench::ampersandFlood},
        {"ampersand-syncs", &AttackBench::ampersandSyncs},
        {"wide-columns", &AttackBench::wideColumns},
        {"wide-rows-again", &AttackBench::wideRowsAgain},
        {"abandoned", &AttackBench::abandonedSyncs, &AttackBench::abandonedAccounts},
        {"unread-crowd", &AttackBench::crowdRow<&CrowdAttacks::unread>, &AttackBench::abandonedAccounts},
        {"slow-crowd", &AttackBench::crowdRow<&CrowdAttacks::slow>, &AttackBench::abandonedAccounts},
        {"unplaced-crowd", &AttackBench::crowdRow<&CrowdAttacks::unplaced>, &AttackBench::abandonedAccounts},
        {"fat-records", &AttackBench::crowdRow<&CrowdAttacks::fat>,
         &AttackBench::crowdRow<&CrowdAttacks::addFatAccounts>},
        {"bounded-uploads", &AttackBench::crowdRow<&CrowdAttacks::bounded>,
         &AttackBench::crowdRow<&CrowdAttacks::addBoundedAccounts>},
        {"trickle-crowd", &AttackBench::crowdRow<&CrowdAttacks::trickle>, nullptr, {}, 20000, 0, 97000},
        {"paced-crowd", &AttackBench::crowdRow<&CrowdAttacks::paced>, nullptr, {}, 20000, 0, 97000},
        {"signup-crowd", &AttackBench::signupCrowd},
        {"held-short", &AttackBench::heldShort},
        {"held-short-20k", &AttackBench::heldShort, nullptr, {}, 20000},
        {"small-disk", &AttackBench::smallDisk, &AttackBench::diskAccount, {}, descriptors, 300},
        {"two-proxies", &AttackBench::twoProxyGuessing, nullptr, {"127.0.0.5", "127.0.0.6"}},
        {"crowd", &AttackBench::crowdRow<&CrowdAttacks::honest>, &AttackBench::crowdRow<&CrowdAttacks::addAccounts>},
        {"mixed-crowd", &AttackBench::crowdRow<&CrowdAttacks::mixed>,
         &AttackBench::crowdRow<&CrowdAttacks::addAccounts>},
        {"hung-up-heads", &AttackBench::hungUpHeads}};
    return all;
}

QStringList AttackBench::names()
{
    QStringList list;
    for (const Row& row : attacks())
        list << row.name;
    return list;
}

bool AttackBench::run(const QString& name)
{
    if (name != "all" && !names().contains(name))
        return false;
    QTemporaryDir folder;
    m_installer = folder.filePath("setup.exe");
    QFile installer(m_installer);
    if (!installer.open(QIODevice::WriteOnly) || !installer.resize(5242880))
        qFatal("cannot make the installer");
    installer.close();
    benchOut() << QString("\n%1 %2 %3 %4 %5  %6\n")
                      .arg("attack", -14)
                      .arg("requests", 8)
                      .arg("failed", 6)
                      .arg("p99 ms", 8)
                      .arg("peak MB", 8)
                      .arg("what the attack got")
               << Qt::flush;
    for (const Row& row : attacks())
        if (name == "all" || name == row.name)
            runOne(row);
    return true;
}

void AttackBench::runOne(const Row& row)
{
    if (row.diskMb > 0 && ::geteuid() != 0) {
        benchOut() << QString("%1 skipped: only root may mount the small disk it needs\n").arg(row.name, -14)
                   << Qt::flush;
        return;
    }
    qputenv("QUILLBAY_TEST_STORE", qEnvironmentVariableIsSet("PGPORT") ? "postgresql" : "sqlite");
    QStringList arguments{"--installer", m_installer};
    for (const QString& proxy : m_trustsProxies ? row.proxies : QStringList())
        arguments << "--trusted-proxy" << proxy;
    const QByteArray rules = qgetenv("QT_LOGGING_RULES");
    if (row.logsTurns)
        qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true");
    ServiceProcess service(arguments, QString(), {m_program, row.descriptors, row.diskMb});
    qputenv("QT_LOGGING_RULES", rules);
    if (service.baseUrl().isEmpty() || !service.addAccount("owner", "pw"))
        qFatal("the service did not start");
    // Declared after the first, which they must not outlive: it drops a PostgreSQL store as it ends.
    std::vector<std::unique_ptr<ServiceProcess>> further;
    m_furtherServices.clear();
    for (int i = 1; i < m_processes; ++i) {
        further.push_back(std::make_unique<ServiceProcess>(arguments, service.database(),
                                                           ServiceLaunch{m_program, row.descriptors, row.diskMb}));
        if (further.back()->baseUrl().isEmpty())
            qFatal("a further service process did not start");
        m_furtherServices << further.back()->baseUrl();
    }
    const QString prepared = row.setup ? (this->*row.setup)(service) + "; " : QString();
    // Made from the service outwards, each reaching the one made before it.
    std::vector<std::unique_ptr<ForwardingProxy>> proxies;
    for (auto proxy = row.proxies.crbegin(); proxy != row.proxies.crend(); ++proxy) {
        const QUrl next(proxies.empty() ? service.baseUrl() : proxies.back()->baseUrl());
        proxies.push_back(std::make_unique<ForwardingProxy>(quint16(next.port()), QHostAddress(*proxy)));
    }
    m_proxy = proxies.empty() ? nullptr : proxies.back().get();
    ServiceWatch watch(service.processId(), guardKb, row.diskMb > 0 ? service.dataDir() : QString());
    m_watch = &watch;
    m_budget = RowBudget();

    QThread thread;
    LegitClient owner(m_proxy ? m_proxy->baseUrl() : service.baseUrl(), "owner", "pw",
                      {m_ownerFirstSyncs, row.ownerUploadBytes});
    owner.moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(&owner, &LegitClient::start);
    const QString processes =
        m_processes > 1 ? QString("%1 service processes on one store; ").arg(m_processes) : QString();
    QString achieved = processes + prepared + (this->*row.attack)(service);
    QMetaObject::invokeMethod(&owner, &LegitClient::stop, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    watch.sample();
    if (watch.stopped())
        achieved = QString("stopped at over %1 GB; ").arg(guardKb / 1024 / 1024) + achieved;
    achieved += "; the owner's error answers: " + tally(owner.errors());
    m_budget.judgeRow(owner.requests(), owner.failures(), owner.p50Ms(), owner.p99Ms(), owner.refused(),
                      watch.peakKb());
    benchOut() << QString("%1 %2 %3 %4 %5  %6\n")
                      .arg(row.name, -14)
                      .arg(owner.requests(), 8)
                      .arg(owner.failures(), 6)
                      .arg(owner.p99Ms(), 8, 'f', 0)
                      .arg(double(watch.peakKb()) / 1024, 8, 'f', 0)
                      .arg(achieved)
               << m_budget.report() << Qt::flush;
    m_watch = nullptr;
    m_proxy = nullptr;
}

QString AttackBench::slowBody(ServiceProcess& service)
{
    std::vector<std::unique_ptr<HostileConnection>> posts;
    for (int i = 0; i < 8; ++i) {
        posts.push_back(std::make_unique<HostileConnection>(service.baseUrl(), attacker));
        posts.back()->trickle("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\n",
                              QByteArray(1000, 'x'), 1000);
    }
    QTest::qWait(attackMs);
    return QString("8 bodies at 1 byte/s: %1 still open after %2").arg(openCount(posts)).arg(seconds(attackMs));
}

QString AttackBench::slowHead(ServiceProcess& service)
{
    HostileConnection head(service.baseUrl(), attacker);
    head.trickle("P", "OST /sync/userid.php HTTP/1.1\r\nHost: 127.0.0.1\r\nX: " + QByteArray(100, 'y'), 5000);
    awaitClosed(std::array{&head}, 60000);
    return QString("a head byte every 5 s: %1 after %2")
        .arg(head.isOpen() ? "still open" : "closed")
        .arg(seconds(head.lifetimeMs()));
}

QString AttackBench::slowDownload(ServiceProcess& service)
{
    std::vector<std::unique_ptr<HostileConnection>> downloads;
    for (int i = 0; i < 16; ++i) {
        downloads.push_back(std::make_unique<HostileConnection>(service.baseUrl(), attacker));
        downloads.back()->send("GET /download/quillbay-setup.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        downloads.back()->readSlowly(1024);
    }
    QTest::qWait(attackMs);
    return QString("16 downloads at 1 KB/s: %1 still open after %2").arg(openCount(downloads)).arg(seconds(attackMs));
}

QString AttackBench::connections(ServiceProcess& service)
{
    // 50 addresses with 32 connections each, half idle and half with a head begun; each one closed comes again.
    QMap<QString, int> endings;
    const int made = holdOpen(
        50 * 32, attackMs,
        [&service](int i) {
            auto* connection = new HostileConnection(service.baseUrl(), QString("127.0.1.%1").arg(1 + i / 32));
            if (i % 2 == 1)
                connection->send("GET /weibo HTTP/1.1\r\n");
            return connection;
        },
        endings);
    return QString("1600 connections from 50 addresses: %1 open at the end, %2 made in all")
        .arg(endings.value("open at the end"))
        .arg(made);
}

QString AttackBench::chunked(ServiceProcess& service)
{
    std::vector<std::unique_ptr<HostileConnection>> posts;
    for (int i = 0; i < 8; ++i) {
        posts.push_back(std::make_unique<HostileConnection>(service.baseUrl(), attacker));
        posts.back()->send("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n1;",
                           1LL << 30);
    }
    awaitClosed(posts, 60000);
    qint64 sent = 0;
    for (const auto& post : posts)
        sent += post->sent();
    return QString("8 chunk-size lines of 1 GB: %1 MB taken in all, answer %2")
        .arg(sent / 1024 / 1024)
        .arg(outcome(posts.front()->answer()));
}

// One upload after another or several at once, each from its own account; the time and outcome of each.
static QString uploads(ServiceProcess& service, const QList<QByteArray>& data)
{
    std::vector<std::unique_ptr<HostileConnection>> posts;
    for (int i = 0; i < data.size(); ++i) {
        const QString account = QString("bulk%1").arg(i);
        if (!service.addAccount(account, "pw"))
            qFatal("cannot add the account");
        posts.push_back(std::make_unique<HostileConnection>(service.baseUrl(), QString("127.0.0.%1").arg(5 + i)));
        posts.back()->send(syncRequest(account, data.at(i)));
    }
    awaitClosed(posts, 600000);
    QStringList results;
    for (const auto& post : posts)
        results << QString("%1 in %2").arg(outcome(post->answer()), seconds(post->lifetimeMs()));
    return QString("%1 MB each: ").arg(double(data.first().size()) / 1e6, 0, 'f', 1) + results.join(", ");
}

QString AttackBench::tinyRecords(ServiceProcess& service)
{
    return "1.5 M tiny records, " + uploads(service, {tinyRecordData()});
}

QString AttackBench::bills(ServiceProcess& service)
{
    const QString upload = uploads(service, {billRecordData()});
    // Another device of the account, on its first sync, receives them all.
    HostileConnection first(service.baseUrl(), "127.0.0.5");
    first.send(syncRequest("bulk0", changeSet(billColumns, 0, {})));
    awaitClosed(std::array{&first}, 600000);
    return "200,000 bills, " + upload +
           QString("; another device's first sync: %1 MB in %2")
               .arg(double(first.received()) / 1e6, 0, 'f', 1)
               .arg(seconds(first.lifetimeMs()));
}

QString AttackBench::ones(ServiceProcess& service)
{
    QByteArray data(60 * 1000 * 1000, ',');
    for (qsizetype i = 1; i < data.size() - 1; i += 2)
        data[i] = '1';
    data.front() = '[';
    data.back() = ']';
    return "[1,1,...] as the upload, " + uploads(service, {data});
}

QString AttackBench::fourLarge(ServiceProcess& service)
{
    const QByteArray data = billRecordData();
    return "four bill uploads at once, " + uploads(service, {data, data, data, data});
}

QString AttackBench::guessing(ServiceProcess& service)
{
    int checked = 0;
    int refused = 0;
    QElapsedTimer timer;
    timer.start();
    // As many at once as one address may connect, so that many checks are under way when the limit is reached.
    pump(
        2000, 32,
        [&service](int i) {
            auto* guess = new HostileConnection(service.baseUrl(), attacker);
            guess->send(RawHttp::formPost("sync/userid.php", "username=owner&password=guess" + QByteArray::number(i)));
            return guess;
        },
        [&](const HostileConnection& guess) {
            const QString result = outcome(guess.answer());
            checked += result == "error 1" ? 1 : 0;
            refused += result == "error 4" ? 1 : 0;
        });
    return QString("2,000 wrong passwords for the owner's name from one address, 32 at once: %1 checked, "
                   "%2 refused unchecked, %3 guesses/s")
        .arg(checked)
        .arg(refused)
        .arg(2000.0 / (double(timer.elapsed()) / 1000), 0, 'f', 0);
}

QString AttackBench::nameTiming(ServiceProcess& service)
{
    // Each refusal from an address of its own, so that no throttle answers in the service's place.
    QList<double> times[2];
    for (int i = 0; i < 40; ++i) {
        QElapsedTimer timer;
        timer.start();
        RawHttp::exchange(service.baseUrl(),
                          RawHttp::formPost("sync/userid.php",
                                            i % 2 ? "username=owner&password=wrong" : "username=nobody&password=wrong"),
                          QString("127.0.2.%1").arg(1 + i));
        times[i % 2] << double(timer.nsecsElapsed()) / 1e6;
    }
    for (QList<double>& list : times)
        std::sort(list.begin(), list.end());
    return QString("refusing a login, median of 20: existing name %1 ms, unknown name %2 ms")
        .arg(times[1].at(10), 0, 'f', 2)
        .arg(times[0].at(10), 0, 'f', 2);
}

QString AttackBench::signups(ServiceProcess& service)
{
    int created = 0;
    pump(
        300, 4,
        [&service](int i) {
            auto* signup = new HostileConnection(service.baseUrl(), attacker);
            signup->send(RawHttp::formPost("", "username=flood" + QByteArray::number(i) + "&password=password"));
            return signup;
        },
        [&created](const HostileConnection& signup) { created += signup.answer().contains("注册成功") ? 1 : 0; });
    const QByteArray foreign = RawHttp::exchange(
        service.baseUrl(),
        RawHttp::formPost("", "username=foreign&password=password", "Origin: http://elsewhere.example\r\n"),
        "127.0.0.3");
    return QString("300 sign-ups from one address: %1 accounts made; one from a foreign page %2")
        .arg(created)
        .arg(foreign.contains("注册成功") ? "accepted" : "refused");
}

QString AttackBench::feedback(ServiceProcess& service)
{
    int kept = 0;
    const QByteArray body = "email=a@b.cc&subject=FNK PC&content=" + QByteArray(65000, 'x');
    pump(
        500, 4,
        [&service, &body](int i) {
            auto* post = new HostileConnection(service.baseUrl(), QString("127.0.3.%1").arg(1 + i / 20));
            post->send(RawHttp::formPost("client/feedback.php", body));
            return post;
        },
        [&kept](const HostileConnection& post) { kept += post.answer().contains("success") ? 1 : 0; });
    const QByteArray own = RawHttp::exchange(
        service.baseUrl(), RawHttp::formPost("client/feedback.php", "email=me@b.cc&subject=FNK PC&content=hello"));
    return QString("25 addresses x 20 x 64 KB: %1 kept (%2 MB); the owner's feedback afterwards %3")
        .arg(kept)
        .arg(double(kept) * double(body.size()) / 1e6, 0, 'f', 1)
        .arg(own.contains("success") ? "kept" : "refused");
}

namespace {
// A form body of "&" alone: as many empty fields as bytes.
QByteArray ampersands(qsizetype size)
{
    return QByteArray(size, '&');
}

// Keeps `atOnce` connections made by `make` going for `ms`, each closed one replaced at once; the answers of those
// that closed meanwhile, and those left open at the end, in `answers` and `open`.
void flood(int atOnce, int ms, const std::function<HostileConnection*(int)>& make, QStringList& answers, int& open)
{
    QEventLoop loop;
    bool ending = false;
    int made = 0;
    std::vector<std::unique_ptr<HostileConnection>> connections;
    std::function<void(std::size_t)> start = [&](std::size_t slot) {
        connections[slot].reset(make(made++));
        QObject::connect(connections[slot].get(), &HostileConnection::closed, &loop, [&, slot] {
            // Those that close as the flood ends were counted as open.
            if (ending)
                return;
            answers << outcome(connections[slot]->answer());
            // Replaced once its signal is done with it.
            QTimer::singleShot(0, &loop, [&, slot] { start(slot); });
        });
    };
    connections.resize(std::size_t(atOnce));
    for (std::size_t slot = 0; slot < connections.size(); ++slot)
        start(slot);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    open = openCount(connections);
    ending = true;
}

// An upload of bill rows of `columns` columns each: the id, the stamp and empty texts.
QByteArray wideData(int columns, int rows)
{
    QByteArray names = "\"id\",\"version\"";
    for (int i = 2; i < columns; ++i)
        names += ",\"c" + QByteArray::number(i, 36) + '"';
    QByteArray empties;
    for (int i = 2; i < columns; ++i)
        empties += ",\"\"";
    return changeSet(names, rows, [&empties](int i) {
        return "[\"w" + QByteArray::number(i) + "\",\"2024-05-01 10:00:00\"" + empties + ']';
    });
}
} // namespace

QString AttackBench::ampersandLogin(ServiceProcess& service)
{
    QList<double> times;
    QString last;
    for (int i = 0; i < 5; ++i) {
        HostileConnection post(service.baseUrl(), attacker);
        post.send(RawHttp::formPost("sync/userid.php", ampersands(1024 * 1024)));
        awaitClosed(std::array{&post}, 120000);
        times << double(post.lifetimeMs());
        last = post.isOpen() ? "still open" : outcome(post.answer());
    }
    std::sort(times.begin(), times.end());
    return QString("1 MB of '&' to the login path, 5 one after another: median %1 ms, slowest %2 ms, answer %3")
        .arg(times.at(2), 0, 'f', 0)
        .arg(times.last(), 0, 'f', 0)
        .arg(last);
}

QString AttackBench::ampersandFlood(ServiceProcess& service)
{
    const QByteArray request = RawHttp::formPost("sync/userid.php", ampersands(1024 * 1024));
    const int ms = 45000;
    QStringList answers;
    int open = 0;
    // Ten addresses with 20 connections each, within what one address may hold.
    flood(
        200, ms,
        [&service, &request](int i) {
            auto* post = new HostileConnection(service.baseUrl(), QString("127.0.4.%1").arg(1 + i % 10));
            post->send(request);
            return post;
        },
        answers, open);
    return QString("200 connections posting 1 MB of '&' to the login path for %1: %2 (%3 bodies/s), %4 open at the "
                   "end")
        .arg(seconds(ms))
        .arg(tally(answers))
        .arg(double(answers.size()) / (ms / 1000.0), 0, 'f', 1)
        .arg(open);
}

QString AttackBench::ampersandSyncs(ServiceProcess& service)
{
    std::vector<std::unique_ptr<HostileConnection>> posts;
    for (int i = 0; i < 2; ++i) {
        posts.push_back(std::make_unique<HostileConnection>(service.baseUrl(), QString("127.0.0.%1").arg(2 + i)));
        posts.back()->send(RawHttp::formPost("sync/syncpc2.php", ampersands(64 * 1024 * 1024)));
    }
    // The owner's own large upload, once the two are under way.
    QTest::qWait(500);
    const QByteArray upload = billRecordData(7900);
    HostileConnection own(service.baseUrl(), "127.0.0.1");
    own.send(syncRequest("owner", upload));
    awaitClosed(std::array{&own}, 120000);
    awaitClosed(posts, 120000);
    QStringList large;
    for (const auto& post : posts)
        large << (post->isOpen() ? QString("still open after %1").arg(seconds(post->lifetimeMs()))
                                 : QString("%1 in %2").arg(outcome(post->answer()), seconds(post->lifetimeMs())));
    return QString("two 64 MB bodies of '&' to the sync path: %1; the owner's %2 MB upload meanwhile: %3")
        .arg(large.join(", "))
        .arg(double(upload.size()) / 1e6, 0, 'f', 1)
        .arg(own.isOpen() ? QString("no answer after %1").arg(seconds(own.lifetimeMs()))
                          : QString("%1 in %2").arg(outcome(own.answer()), seconds(own.lifetimeMs())));
}

QString AttackBench::wideColumns(ServiceProcess& service)
{
    const QByteArray data = wideData(75000, 1);
    return "bill rows of 75,000 columns, 16 at once, " + uploads(service, QList<QByteArray>(16, data));
}

QString AttackBench::wideRowsAgain(ServiceProcess& service)
{
    const QByteArray data = wideData(10000, 100);
    if (!service.addAccount("wide", "pw"))
        qFatal("cannot add the account");
    QStringList results;
    for (int i = 0; i < 2; ++i) {
        HostileConnection post(service.baseUrl(), attacker);
        post.send(syncRequest("wide", data));
        awaitClosed(std::array{&post}, 600000);
        results << (post.isOpen() ? "still open"
                                  : QString("%1 in %2").arg(outcome(post.answer()), seconds(post.lifetimeMs())));
    }
    return QString("100 rows x 10,000 columns (%1 MB) to an account: the first time %2, again over the "
                   "stored rows %3")
        .arg(double(data.size()) / 1e6, 0, 'f', 1)
        .arg(results.at(0), results.at(1));
}

QString AttackBench::hugeLength(ServiceProcess& service)
{
    QStringList results;
    for (const char* length : {"9223372036854775808", "18446744073709551615"}) {
        const QByteArray answer = RawHttp::exchange(
            service.baseUrl(),
            QByteArray("POST /sync/userid.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: ") + length + "\r\n\r\nx",
            attacker);
        results << QString("%1: %2").arg(length, outcome(answer));
    }
    // The owner goes on meanwhile: a service that died fails every request from here on.
    QTest::qWait(5000);
    const bool alive = RawHttp::exchange(service.baseUrl(), "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", attacker)
                           .startsWith("HTTP/1.1 200");
    return "Content-Length " + results.join(", ") + (alive ? "; the service answers" : "; the service is gone");
}

QString AttackBench::longIds(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    for (const char* account : {"unrelated", "longids", "wideids"})
        if (!service.addAccount(account, "pw"))
            qFatal("cannot add the account");
    const auto send = [&service](const QString& account, const QByteArray& data, const QByteArray& syncTime,
                                 const QString& from) {
        auto sync = std::make_unique<HostileConnection>(service.baseUrl(), from);
        sync->send(syncRequest(account, data, syncTime));
        awaitClosed(std::array{sync.get()}, 600000);
        return sync;
    };
    // Another account's upload of 1,999 new bills, each time its own: how long it takes shows what the store's
    // writes cost.
    const auto unrelated = [&send](int first) {
        const auto upload = send("unrelated", billRecordData(1999, first), neverSynced, "127.0.0.5");
        return outcome(upload->answer()) == "change set" ? upload->lifetimeMs() : -1;
    };
    const qint64 before = unrelated(0);
    const auto offer =
        send("longids",
             changeSet(billColumns, 10,
                       [](int i) {
                           return "[\"" + QByteArray(5000000 - 1, 'i') + QByteArray::number(i) +
                                  "\",\"t\",\"1\",\"\",\"2024-05-01\",\"202405\",\"\",\"\",\"\",\"\","
                                  "\"\",\"\",\"expense\",\"2024-05-01 12:00:00\",\"2024-05-01 12:00:00\"]";
                       }),
             neverSynced, attacker);
    const QString offered = outcome(offer->answer());
    m_budget.judge("10 records with ids of 5 MB refused as unreadable", offered, offered == "error 2");
    const qint64 after = unrelated(1999);
    m_budget.judge("an unrelated upload of 1,999 bills within 1 s of its time before",
                   QString("%1 ms before, %2 ms after").arg(before).arg(after),
                   before >= 0 && after >= 0 && after <= before + 1000);
    // 1,500 records of 252 to 255 bytes of id and 450 of title: 0.7 MB of values, 1.1 MB on the wire.
    const QByteArray titled = "\"" + QByteArray(450, 't') + "\",\"2024-05-01 12:00:00\"]";
    const QByteArray wide = changeSet("\"id\",\"title\",\"version\"", 1500, [&titled](int i) {
        return "[\"" + QByteArray(251, 'i') + QByteArray::number(i) + "\"," + titled;
    });
    const QString filled = outcome(send("wideids", wide, neverSynced, "127.0.0.5")->answer());
    const QString answered = outcome(send("wideids", changeSet(billColumns, 0, {}), "garbage", "127.0.0.7")->answer());
    const bool expensive = service.log().contains("a request of 127.0.0.7 goes to the expensive line");
    m_budget.judge("a sync the store cannot place of 1,500 records with ids of 255 bytes goes to the expensive line",
                   QString("%1, the account %2").arg(expensive ? "it did" : "it stayed cheap", filled),
                   expensive && answered == "change set");
    return QString("10 records with ids of 5 MB offered: %1; an unrelated upload of 1,999 bills %2 before, %3 after; "
                   "a sync the store cannot place of 1,500 records with ids of 255 bytes (1.1 MB): %4 in the %5 line")
        .arg(offered, seconds(before), seconds(after), answered, expensive ? "expensive" : "cheap");
}

QString AttackBench::largeUploads(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    // Six shapes of statement, from 10 records down to 5, then eight more of 10 records, for every worker to write
    // some: each a first sync of an account of its own, its answer read.
    QList<int> shapes{10, 9, 8, 7, 6, 5};
    for (int i = 0; i < 8; ++i)
        shapes << 10;
    const qint64 uploadBytes = 50 * 1024 * 1024;
    const qint64 before = m_watch->residentKb();
    QStringList kept;
    QStringList outcomes;
    for (int i = 0; i < shapes.size(); ++i) {
        const QString account = QString("large%1").arg(i);
        if (!service.addAccount(account, "pw"))
            qFatal("cannot add the account");
        const QByteArray title(int(uploadBytes / shapes.at(i)), 't');
        const QByteArray data = changeSet("\"id\",\"title\",\"version\"", shapes.at(i), [&title](int row) {
            return "[\"large" + QByteArray::number(row) + "\",\"" + title + "\",\"2024-05-01 12:00:00\"]";
        });
        HostileConnection upload(service.baseUrl(), attacker);
        upload.send(syncRequest(account, data));
        awaitClosed(std::array{&upload}, 600000);
        outcomes << outcome(upload.answer());
        m_watch->sample();
        kept << QString::number(m_watch->residentKb() / 1024);
    }
    const qint64 grownMb = (m_watch->residentKb() - before) / 1024;
    const double perMb = double(m_watch->peakKb() - before) / 1024 / (uploadBytes >> 20);
    outcomes.removeDuplicates();
    // A worker's connection keeps about 1 MB between syncs, and lets go of what a larger record took.
    m_budget.judge("memory after 14 uploads of 50 MB within 160 MB of that before them",
                   QString("%1 MB more").arg(grownMb), grownMb <= 160);
    // The README's budget table gives a sync's peak as at most 4.5 times its upload's body.
    m_budget.judge("a peak of 4.5 MB at most for each MB of an upload", QString("%1 MB").arg(perMb, 0, 'f', 1),
                   perMb <= 4.5);
    return QString("14 uploads of 50 MB in 10 to 5 records (%1): memory after each %2 MB, %3 MB before; %4 MB at the "
                   "peak for each MB uploaded")
        .arg(outcomes.join(", "), kept.join(", "))
        .arg(before / 1024)
        .arg(perMb, 0, 'f', 1);
}

QString AttackBench::fillAccount(ServiceProcess& service, const QString& account, double megabytes)
{
    if (!service.addAccount(account, "pw"))
        qFatal("cannot add the account");
    // Uploads of a size the service takes; each its own bills.
    const int perUpload = 100000;
    const int total = int(megabytes * 1e6 / answerBytesPerBill);
    for (int first = 0; first < total; first += perUpload) {
        HostileConnection upload(service.baseUrl(), "127.0.0.5");
        upload.send(syncRequest(account, billRecordData(qMin(perUpload, total - first), first)));
        awaitClosed(std::array{&upload}, 600000);
        if (outcome(upload.answer()) != "change set")
            qFatal("the account was not filled: %s", qPrintable(outcome(upload.answer())));
    }
    HostileConnection first(service.baseUrl(), "127.0.0.5");
    first.send(syncRequest(account, changeSet(billColumns, 0, {})));
    awaitClosed(std::array{&first}, 600000);
    return QString("an account of %1 bills, whose first sync takes %2 MB in %3")
        .arg(total)
        .arg(double(first.received()) / 1e6, 0, 'f', 1)
        .arg(seconds(first.lifetimeMs()));
}

QString AttackBench::largeAccount(ServiceProcess& service)
{
    return fillAccount(service, "large", m_accountMb);
}

QString AttackBench::mediumAccount(ServiceProcess& service)
{
    return fillAccount(service, "medium", 3.5);
}

QString AttackBench::abandonedAccounts(ServiceProcess& service)
{
    QString last;
    for (int i = 0; i < 8; ++i)
        last = fillAccount(service, abandonedAccount(i), 20);
    return "8 accounts, each " + last;
}

QString AttackBench::diskAccount(ServiceProcess& service)
{
    return fillAccount(service, "disk", 40);
}

QString AttackBench::unreadSyncs(ServiceProcess& service)
{
    return unreadFirstSyncs(service, "large", 200, 10, "127.0.5.", attackMs);
}

QString AttackBench::unreadAnswers(ServiceProcess& service)
{
    return unreadFirstSyncs(service, "medium", 1000, 40, "127.0.6.", attackMs);
}

QString AttackBench::unreadFirstSyncs(ServiceProcess& service, const QString& account, int count, int addresses,
                                      const QString& network, int ms)
{
    // None of the answers is read; each connection closed asks again. What the answers waiting on disk take is looked
    // at meanwhile.
    QMap<QString, int> endings;
    const QByteArray request = syncRequest(account, changeSet(billColumns, 0, {}));
    const int perAddress = count / addresses;
    qint64 spooled = 0;
    QTimer disk;
    QObject::connect(&disk, &QTimer::timeout, &disk, [&] {
        qint64 size = 0;
        for (const QFileInfo& file : QDir(service.dataDir() + "/answers").entryInfoList(QDir::Files))
            size += file.size();
        spooled = qMax(spooled, size);
    });
    disk.start(500);
    const int made = holdOpen(
        count, ms,
        [&](int i) {
            auto* sync = new HostileConnection(service.baseUrl(), network + QString::number(1 + i / perAddress));
            sync->send(request);
            sync->holdUnread();
            return sync;
        },
        endings);
    return QString(
               "%1 unread first syncs from %2 addresses, %3 asked in all: %4; answers waiting on disk %5 MB at most")
        .arg(count)
        .arg(addresses)
        .arg(made)
        .arg(tally(endings))
        .arg(spooled / 1024 / 1024);
}

QString AttackBench::proxyGuessing(ServiceProcess& service)
{
    Q_UNUSED(service)
    return guessesThroughProxies("the proxy");
}

QString AttackBench::twoProxyGuessing(ServiceProcess& service)
{
    Q_UNUSED(service)
    m_budget.limitOwner(5, 0, true);
    return guessesThroughProxies("two proxies");
}

QString AttackBench::guessesThroughProxies(const QString& proxies)
{
    int checked = 0;
    int refused = 0;
    // Each guess claims to come from the owner's address; the proxy it reaches appends the guesser's own after it.
    pump(
        2000, 8,
        [this](int i) {
            auto* guess = new HostileConnection(m_proxy->baseUrl(), attacker);
            guess->send(RawHttp::formPost("sync/userid.php", "username=owner&password=guess" + QByteArray::number(i),
                                          "X-Forwarded-For: 127.0.0.1\r\n"));
            return guess;
        },
        [&](const HostileConnection& guess) {
            const QString result = outcome(guess.answer());
            checked += result == "error 1" ? 1 : 0;
            refused += result == "error 4" ? 1 : 0;
        });
    return QString("2,000 wrong passwords through %1 (%2): %3 checked, %4 refused unchecked")
        .arg(proxies, m_trustsProxies ? "trusted" : "the service takes no --trusted-proxy")
        .arg(checked)
        .arg(refused);
}

QString AttackBench::abandonedSyncs(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    const QByteArray none = changeSet(billColumns, 0, {});
    QMap<QString, int> endings;
    const int made = holdOpen(
        400, 45000,
        [&](int i) {
            auto* sync = new HostileConnection(service.baseUrl(), spreadAddress(10, i));
            sync->send(syncRequest(abandonedAccount(i % 8), none));
            sync->hangUpAfter(50);
            return sync;
        },
        endings);
    // Every connection is gone now: whatever the service kept for them should go as well.
    const int atEnd = m_watch->descriptors();
    QElapsedTimer since;
    since.start();
    // A service that is gone holds none, but kept no budget either.
    const bool fell = QTest::qWaitFor(
        [this] {
            const int open = m_watch->descriptors();
            return open >= 0 && open < 100;
        },
        75000);
    const qint64 took = since.elapsed();
    m_budget.judge("open descriptors under 100 within 15 s of the attack's end",
                   QString("%1 at the end, ").arg(atEnd) +
                       (fell ? QString("under 100 after %1").arg(seconds(took))
                             : QString("%1 still after %2").arg(m_watch->descriptors()).arg(seconds(took))),
                   fell && took <= 15000);
    return QString("400 addresses sending first syncs of the 8 and hanging up after 50 ms for 45 s, %1 in all: %2")
        .arg(made)
        .arg(tally(endings));
}

QString AttackBench::signupCrowd(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    m_budget.limitMedian(100);
    QMap<QString, int> endings;
    int sent = 0;
    const int made = holdOpen(
        503, attackMs,
        [&](int i) {
            auto* signup = new HostileConnection(service.baseUrl(), spreadAddress(13, i));
            signup->send(RawHttp::formPost("", "username=crowd" + QByteArray::number(++sent) + "&password=password"));
            return signup;
        },
        endings);
    return QString("503 addresses signing up again as soon as answered for %1: %2 sign-ups sent")
        .arg(seconds(attackMs))
        .arg(made);
}

QString AttackBench::heldShort(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    m_budget.limitMemory(700);
    const qint64 body = 1024 * 1024;
    const QByteArray head = syncHead(body);
    QMap<QString, int> endings;
    const int made = holdOpen(
        503 * 8, attackMs,
        [&](int i) {
            auto* post = new HostileConnection(service.baseUrl(), spreadAddress(11, i / 8));
            post->sendShort(head, body);
            return post;
        },
        endings);
    return QString("503 addresses x 8 syncs of 1 MB held a byte short for %1, %2 made in all: %3")
        .arg(seconds(attackMs))
        .arg(made)
        .arg(tally(endings));
}

QString AttackBench::smallDisk(ServiceProcess& service)
{
    m_budget.limitOwner(5, 3000);
    const int ms = 70000;
    const QString unread = unreadFirstSyncs(service, "disk", 200, 10, "127.0.9.", ms);
    const qint64 lowest = m_watch->lowestFreeBytes();
    const qint64 size = m_watch->diskBytes();
    m_budget.judge("free space never under 10% of the data's disk",
                   QString("%1 MB of %2 MB at the least").arg(lowest / 1024 / 1024).arg(size / 1024 / 1024),
                   lowest >= size / 10);
    return QString("--data on a disk of %1 MB for %2; ").arg(size / 1024 / 1024).arg(seconds(ms)) + unread;
}

QString AttackBench::hungUpHeads(ServiceProcess& service)
{
    const qint64 megabyte = 1024 * 1024;
    // Two uploads over 1 MB hold the two turns: their heads and first megabyte at once, then a byte a second.
    std::vector<std::unique_ptr<HostileConnection>> holders;
    for (int i = 0; i < 2; ++i) {
        holders.push_back(std::make_unique<HostileConnection>(service.baseUrl(), QString("127.0.0.%1").arg(3 + i)));
        holders.back()->trickle(syncHead(64 * megabyte) + QByteArray(megabyte, 'x'), QByteArray(4096, 'x'), 1000);
    }
    (void)QTest::qWaitFor(
        [&holders] { return holders.front()->sent() > megabyte && holders.back()->sent() > megabyte; }, 30000);
    // What the service has read of them by now is its memory at the start.
    QTest::qWait(2000);
    const qint64 before = m_watch->residentKb();
    const int count = 80000;
    const QByteArray head = syncHead(2 * megabyte);
    QElapsedTimer took;
    took.start();
    QStringList answers;
    // Each sends the head of a 2 MB sync and hangs up once the service has read it; 300 at once, far from the
    // service's cap of connections, which would otherwise close the holders.
    pump(
        count, 300,
        [&service, &head](int i) {
            auto* post = new HostileConnection(service.baseUrl(), spreadAddress(13, i % 2000));
            post->send(head);
            post->hangUpAfter(100);
            return post;
        },
        [&answers](const HostileConnection& post) { answers << outcome(post.answer()); });
    const qint64 sentMs = took.elapsed();
    const int settleMs = 10000;
    QTest::qWait(settleMs);
    const qint64 after = m_watch->residentKb();
    m_budget.judge(
        QString("resident memory within 25 MB of its start %1 after the last hung up").arg(seconds(settleMs)),
        QString("%1 MB before, %2 MB after").arg(before / 1024).arg(after / 1024), after - before <= 25 * 1024);
    return QString("2 turns held by slow uploads over 1 MB; %1 heads of 2 MB syncs sent and hung up in %2: %3; "
                   "the holders %4")
        .arg(count)
        .arg(seconds(sentMs))
        .arg(tally(answers))
        .arg(openCount(holders) == 2 ? "still open" : "closed");
}
