#include "crowdattacks.h"

#include "attacktools.h"
#include "hostileconnection.h"
#include "rowbudget.h"
#include "serviceprocess.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <array>

namespace {
// How long the crowds of addresses with an expensive request each go on.
const int crowdMs = 45000;
// A household's sync of about 1.02 MB: a body still read into memory whole.
const qint64 crowdSyncBytes = 1020000;
// A household's uplink, 100 KB/s, as a piece every 100 ms.
const int householdPiece = 10000;
const int householdIntervalMs = 100;
// The large syncs of the mixed crowd: those that hold both turns and those that wait in line for one.
const int turnHolders = 2;
const qint64 turnHolderBytes = 3000000;
const int waitingLarge = 5;
const qint64 waitingLargeBytes = 4000000;
// The bodies that hold the memory for bodies in the trickle and paced crowds: 64 of them and the heads of the others
// leave a few KB of the 64 MB, too little for the owner's 97 KB.
const qint64 heldBodyBytes = 1045000;
// 65 KB/s, just above the pace a body must keep while a claim waits for its room, as a piece every 100 ms.
const int pacedPiece = 6656;
const int pacedIntervalMs = 100;
// The accounts each crowd of expensive syncs asks for, one for every eighth address.
const int crowdTargets = 8;
// The accounts of a few large records: each answers a sync the store cannot place with 50 MB in 10 records.
const int fatRecords = 10;
const int fatRecordBytes = 5000000;
QString fatAccount(int i)
{
    return QString("fat%1").arg(i);
}

// The accounts that the crowd of uploads just under the bounds sends to, and their 1,999 bills of about 120 bytes
// each: an upload of about 240 KB.
const int boundedRecords = 1999;
QString boundedAccount(int i)
{
    return QString("bounded%1").arg(i);
}

QByteArray boundedUpload()
{
    return changeSet("\"id\",\"title\",\"amount\",\"description\",\"date\",\"kind\",\"version\"", boundedRecords,
                     [](int i) {
                         return "[\"" + QByteArray::number(i).rightJustified(8, '0') +
                                "-0000-4000-8000-000000000001\",\"午餐\",\"-25.50\",\"和同事\",\"2024-05-01\","
                                "\"expense\",\"2024-05-01 12:00:00\"]";
                     });
}

// Neither names a sync of the account: the first is no time at all, and the accounts were filled long after the
// second. The store answers either with the whole account.
const char* const unplacedSyncTimes = "half \"garbage\", half 2019-03-04 05:06:07";
QByteArray unplacedSyncTime(int i)
{
    return i % 2 == 0 ? "garbage" : "2019-03-04 05:06:07";
}

QString crowdAccount(int i)
{
    return QString("crowd%1").arg(i);
}

QString largeSyncAccount(int i)
{
    return QString("largesync%1").arg(i);
}

// How long each of the connections lived, the shortest first.
template <class Iterator> QList<qint64> sortedLifetimes(Iterator begin, Iterator end)
{
    QList<qint64> times;
    for (auto sync = begin; sync != end; ++sync)
        times << (*sync)->lifetimeMs();
    std::sort(times.begin(), times.end());
    return times;
}
} // namespace

CrowdAttacks::CrowdAttacks(RowBudget& budget, int crowdSize, const QStringList& furtherServices)
    : m_budget(budget), m_crowdSize(crowdSize), m_furtherServices(furtherServices)
{
}

QString CrowdAttacks::serviceUrl(const ServiceProcess& service, int i) const
{
    const qsizetype at = i % (m_furtherServices.size() + 1);
    return at == 0 ? service.baseUrl() : m_furtherServices.at(at - 1);
}

QString CrowdAttacks::addAccounts(ServiceProcess& service)
{
    QStringList names;
    for (int i = 0; i < m_crowdSize; ++i)
        names << crowdAccount(i);
    for (int i = 0; i < turnHolders + waitingLarge; ++i)
        names << largeSyncAccount(i);
    for (const QString& name : names)
        if (!service.addAccount(name, "pw"))
            qFatal("cannot add the account");
    return QString("%1 accounts").arg(names.size());
}

QString CrowdAttacks::unread(ServiceProcess& service)
{
    return largeAccountCrowd(
        service, "a first sync, none of whose answers is read", [](int) { return neverSynced; },
        [](HostileConnection& sync) { sync.holdUnread(); });
}

QString CrowdAttacks::slow(ServiceProcess& service)
{
    return largeAccountCrowd(
        service, "a first sync, each answer read 4 KB every 10 s", [](int) { return neverSynced; },
        [](HostileConnection& sync) { sync.readSlowly(410, 10000); });
}

QString CrowdAttacks::unplaced(ServiceProcess& service)
{
    return unplacedCrowd(service, abandonedAccount);
}

QString CrowdAttacks::unplacedCrowd(ServiceProcess& service, const std::function<QString(int)>& account)
{
    return largeAccountCrowd(
        service,
        QString("a sync whose last sync the store cannot place (%1), none of whose answers is read")
            .arg(unplacedSyncTimes),
        unplacedSyncTime, [](HostileConnection& sync) { sync.holdUnread(); }, account);
}

QString CrowdAttacks::largeAccountCrowd(ServiceProcess& service, const QString& what,
                                        const std::function<QByteArray(int)>& syncTime,
                                        const std::function<void(HostileConnection&)>& read,
                                        const std::function<QString(int)>& account, const QByteArray& upload)
{
    m_budget.limitOwner(5, 3000);
    const QByteArray data = upload.isEmpty() ? changeSet(billColumns, 0, {}) : upload;
    QMap<QString, int> endings;
    const int made = holdOpen(
        503, crowdMs,
        [&](int i) {
            auto* sync = new HostileConnection(serviceUrl(service, i), spreadAddress(12, i));
            sync->send(syncRequest(account(i % crowdTargets), data, syncTime(i)));
            read(*sync);
            return sync;
        },
        endings);
    return QString("503 addresses each asking for one of the 8 with %1, for %2, %3 in all: %4")
        .arg(what, seconds(crowdMs))
        .arg(made)
        .arg(tally(endings));
}

QString CrowdAttacks::trickle(ServiceProcess& service)
{
    // Never silent for 5 s, yet far below any real line: a body that would take 48 days.
    return bodyCrowd(service, 14, QByteArray(1024, 'x'), 4000, 1, "the head of a 1 MB sync and then a byte every 4 s");
}

QString CrowdAttacks::paced(ServiceProcess& service)
{
    // Each body takes 16 s, and none falls behind: without room kept for small requests, the owner's claim waits
    // until one ends.
    return bodyCrowd(service, 15, QByteArray(heldBodyBytes, 'x'), pacedIntervalMs, pacedPiece,
                     "a sync of 1,045,000 bytes at 65 KB/s");
}

QString CrowdAttacks::bodyCrowd(ServiceProcess& service, int network, const QByteArray& body, int intervalMs, int piece,
                                const QString& what)
{
    m_budget.limitOwner(5, 3000);
    const int ms = 60000;
    QMap<QString, int> endings;
    const int made = holdOpen(
        503, ms,
        [&](int i) {
            auto* sending = new HostileConnection(serviceUrl(service, i), spreadAddress(network, i));
            sending->trickle(syncHead(heldBodyBytes), body, intervalMs, piece);
            return sending;
        },
        endings);
    return QString("503 addresses each sending %1, for %2, %3 in all: %4")
        .arg(what, seconds(ms))
        .arg(made)
        .arg(tally(endings));
}

QString CrowdAttacks::honest(ServiceProcess& service)
{
    m_budget.limitOwner(5, 0);
    Syncs syncs;
    for (int i = 0; i < m_crowdSize; ++i) {
        syncs.push_back(std::make_unique<HostileConnection>(serviceUrl(service, i), spreadAddress(12, i)));
        syncs.back()->send(syncOfSize(crowdAccount(i), crowdSyncBytes));
    }
    awaitClosed(syncs, 120000);
    const QString answered = judgeAnswered(QString("all %1 syncs").arg(m_crowdSize), syncs.cbegin(), syncs.cend());
    const QList<qint64> times = sortedLifetimes(syncs.cbegin(), syncs.cend());
    m_budget.judge("the slowest within 20 s", seconds(times.last()), times.last() <= 20000);
    return QString("%1 accounts from %1 addresses, each a sync of %2 MB at once: %3; fastest %4, median %5")
        .arg(m_crowdSize)
        .arg(double(crowdSyncBytes) / 1e6, 0, 'f', 2)
        .arg(answered, seconds(times.first()), seconds(times.at(times.size() / 2)));
}

QString CrowdAttacks::mixed(ServiceProcess& service)
{
    Syncs syncs;
    const auto start = [&](const QString& from, const QByteArray& request, bool household) {
        syncs.push_back(std::make_unique<HostileConnection>(serviceUrl(service, int(syncs.size())), from));
        if (household)
            syncs.back()->trickle({}, request, householdIntervalMs, householdPiece);
        else
            syncs.back()->send(request);
    };
    for (int i = 0; i < turnHolders; ++i)
        start(QString("127.0.0.%1").arg(3 + i), syncOfSize(largeSyncAccount(i), turnHolderBytes), true);
    // Both have their turns once their first bytes are in; the others come after them.
    (void)QTest::qWaitFor(
        [&syncs] {
            return std::all_of(syncs.cbegin(), syncs.cend(), [](const auto& sync) { return sync->sent() > 100000; });
        },
        30000);
    for (int i = 0; i < waitingLarge; ++i)
        start(QString("127.0.0.%1").arg(3 + turnHolders + i),
              syncOfSize(largeSyncAccount(turnHolders + i), waitingLargeBytes), false);
    for (int i = 0; i < m_crowdSize; ++i)
        start(spreadAddress(12, i), syncOfSize(crowdAccount(i), crowdSyncBytes), true);
    awaitClosed(syncs, 300000);
    const auto waiting = syncs.cbegin() + turnHolders;
    const auto households = waiting + waitingLarge;
    return QStringList{
        judgeAnswered("the 2 syncs of 3 MB at 100 KB/s", syncs.cbegin(), waiting),
        judgeAnswered("the 5 syncs of 4 MB at full speed", waiting, households),
        judgeAnswered(QString("the %1 syncs of 1 MB at 100 KB/s").arg(m_crowdSize), households, syncs.cend())}
        .join("; ");
}

QString CrowdAttacks::judgeAnswered(const QString& what, Syncs::const_iterator begin, Syncs::const_iterator end)
{
    QStringList answers;
    for (auto sync = begin; sync != end; ++sync)
        answers << ((*sync)->isOpen() ? "still open" : outcome((*sync)->answer()));
    m_budget.judge(what + " answered with their change set", tally(answers),
                   answers.count("change set") == answers.size());
    return QString("%1: %2, slowest %3").arg(what, tally(answers), seconds(sortedLifetimes(begin, end).last()));
}

void CrowdAttacks::fillAccounts(ServiceProcess& service, const std::function<QString(int)>& account,
                                const QByteArray& upload)
{
    for (int i = 0; i < crowdTargets; ++i) {
        if (!service.addAccount(account(i), "pw"))
            qFatal("cannot add the account");
        HostileConnection filling(service.baseUrl(), "127.0.0.5");
        filling.send(syncRequest(account(i), upload));
        awaitClosed(std::array{&filling}, 600000);
        if (outcome(filling.answer()) != "change set")
            qFatal("the account was not filled: %s", qPrintable(outcome(filling.answer())));
    }
}

QString CrowdAttacks::addFatAccounts(ServiceProcess& service)
{
    // Letters that a store's compression cannot shrink much, and that a form takes unencoded.
    QByteArray text(fatRecordBytes, 'a');
    quint32 state = 1;
    for (char& letter : text) {
        state = state * 1664525u + 1013904223u;
        letter = char('a' + (state >> 24) % 26);
    }
    fillAccounts(service, fatAccount, changeSet(billColumns, fatRecords, [&text](int record) {
                     return "[\"fat" + QByteArray::number(record) + "\",\"t\",\"1\",\"" + text +
                            "\",\"2024-05-01\",\"202405\",\"\",\"\",\"\",\"\",\"\",\"\","
                            "\"expense\",\"2024-05-01 12:00:00\",\"2024-05-01 12:00:00\"]";
                 }));
    return QString("%1 accounts, each of %2 records of %3 MB")
        .arg(crowdTargets)
        .arg(fatRecords)
        .arg(fatRecordBytes / 1e6);
}

QString CrowdAttacks::fat(ServiceProcess& service)
{
    return unplacedCrowd(service, fatAccount);
}

QString CrowdAttacks::addBoundedAccounts(ServiceProcess& service)
{
    const QByteArray upload = boundedUpload();
    fillAccounts(service, boundedAccount, upload);
    return QString("%1 accounts, each of %2 bills uploaded in %3 KB")
        .arg(crowdTargets)
        .arg(boundedRecords)
        .arg(upload.size() / 1024);
}

QString CrowdAttacks::bounded(ServiceProcess& service)
{
    return largeAccountCrowd(
        service,
        QString("an upload of the account's %1 bills (%2 KB) in a sync whose last sync the store cannot place (%3), "
                "each answer read")
            .arg(boundedRecords)
            .arg(boundedUpload().size() / 1024)
            .arg(unplacedSyncTimes),
        unplacedSyncTime, [](HostileConnection&) {}, boundedAccount, boundedUpload());
}
