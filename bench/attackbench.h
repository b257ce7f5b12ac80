#pragma once

#include "crowdattacks.h"
#include "rowbudget.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class ForwardingProxy;
class HostileConnection;
class ServiceProcess;
class ServiceWatch;

// Attacks on a service as an operator would start it (its defaults, 1024 descriptors; its store on SQLite, or on
// the PostgreSQL server the PG* variables name), each from loopback addresses
// other than 127.0.0.1, while the owner of an account logs in and syncs a record every 0.2 s from 127.0.0.1, each
// sync naming its last, or each a first sync of its one-record account. Prints
// per attack the owner's failed requests and 99th percentile, the service's peak resident memory and what the attack
// achieved, and, for the rows that have them, the budgets the service must stay within and whether it did. A fresh
// service serves each attack; one that grows past a guard is stopped, so that a row that would take the machine's
// memory ends early instead. Where the row says so, owner and attacker both reach the service through a proxy, or a
// chain of them, which the service is told to trust when it can be.
class AttackBench
{
public:
    // `program`: the service to attack; empty for this build's. `accountMb`: the size of the large account whose
    // first syncs are left unread. `ownerFirstSyncs`: every sync of the owner is a first sync. `crowdAccounts`: the
    // households of the honest crowds. `processes`: the service processes on one store that serve each row; the
    // owner and the attacks other than the crowds' reach the first, the crowds are spread over all.
    AttackBench(const QString& program, int accountMb, bool ownerFirstSyncs, int crowdAccounts, int processes);

    static QStringList names();
    // Runs the attack of that name, or every one for "all"; false for an unknown name.
    bool run(const QString& name);

private:
    using Attack = QString (AttackBench::*)(ServiceProcess&);
    struct Row
    {
        QString name;
        Attack attack;
        // Fills the service before the owner starts, if anything, and says with what.
        Attack setup = nullptr;
        // The proxies the owner and the attacker reach the service through, the one they reach first first: each
        // appends who reached it, and reaches the next from this address.
        QStringList proxies = {};
        int descriptors = 1024;
        // The size of a disk of its own for the service's data, 0 for none.
        int diskMb = 0;
        // How large the owner's upload of its one record is (0: a short title).
        int ownerUploadBytes = 0;
        // Whether the service's log tells which line each request was worked on in, for the row to judge.
        bool logsTurns = false;
    };
    // Every attack, in the order "all" runs them.
    static const QList<Row>& attacks();

    QString slowBody(ServiceProcess& service);
    QString slowHead(ServiceProcess& service);
    QString slowDownload(ServiceProcess& service);
    QString connections(ServiceProcess& service);
    QString chunked(ServiceProcess& service);
    QString tinyRecords(ServiceProcess& service);
    QString bills(ServiceProcess& service);
    QString ones(ServiceProcess& service);
    QString fourLarge(ServiceProcess& service);
    QString guessing(ServiceProcess& service);
    QString nameTiming(ServiceProcess& service);
    QString signups(ServiceProcess& service);
    QString feedback(ServiceProcess& service);
    // Bodies and uploads made to cost more than a pass over them.
    QString ampersandLogin(ServiceProcess& service);
    QString ampersandFlood(ServiceProcess& service);
    QString ampersandSyncs(ServiceProcess& service);
    QString wideColumns(ServiceProcess& service);
    QString wideRowsAgain(ServiceProcess& service);
    QString hugeLength(ServiceProcess& service);
    // Records with ids of 5 MB offered, an unrelated upload timed before and after; and an answer large through ids
    // within the bound.
    QString longIds(ServiceProcess& service);
    // Uploads of 50 MB in records of several sizes, one after another: what the service keeps after each, and its
    // peak for one.
    QString largeUploads(ServiceProcess& service);
    QString unreadSyncs(ServiceProcess& service);
    QString unreadAnswers(ServiceProcess& service);
    QString proxyGuessing(ServiceProcess& service);
    QString twoProxyGuessing(ServiceProcess& service);
    // Syncs dropped by their clients, bodies held a byte short of their length, and unread answers on a small disk.
    QString abandonedSyncs(ServiceProcess& service);
    // A crowd of addresses each signing up.
    QString signupCrowd(ServiceProcess& service);
    QString heldShort(ServiceProcess& service);
    QString smallDisk(ServiceProcess& service);
    // Large syncs whose clients hang up while they wait for a turn.
    QString hungUpHeads(ServiceProcess& service);
    // A row, or its setup, of the crowds of addresses that each sync, under this row's budget.
    template <QString (CrowdAttacks::*attack)(ServiceProcess&)> QString crowdRow(ServiceProcess& service)
    {
        return (CrowdAttacks(m_budget, m_crowdAccounts, m_furtherServices).*attack)(service);
    }

    // First syncs of the account from `count` connections spread evenly over `addresses` addresses of the network
    // ("127.0.5."), none of whose answers is read, for that long.
    QString unreadFirstSyncs(ServiceProcess& service, const QString& account, int count, int addresses,
                             const QString& network, int ms);
    // Wrong passwords for the owner's name from one address, through the proxies of the row.
    QString guessesThroughProxies(const QString& proxies);
    QString largeAccount(ServiceProcess& service);
    QString mediumAccount(ServiceProcess& service);
    QString abandonedAccounts(ServiceProcess& service);
    QString diskAccount(ServiceProcess& service);
    // Fills a new account with bills until a first sync's answer takes about that many megabytes; returns what one
    // took and how long.
    QString fillAccount(ServiceProcess& service, const QString& account, double megabytes);

    void runOne(const Row& row);

    QString m_program;
    int m_accountMb;
    bool m_ownerFirstSyncs;
    int m_crowdAccounts;
    int m_processes;
    QString m_installer;
    // Whether the service can be told to believe a proxy's X-Forwarded-For.
    bool m_trustsProxies = false;
    // The proxy the clients reach in the row under way, if it has one.
    ForwardingProxy* m_proxy = nullptr;
    // What watches the service of the row under way, and the budgets the row must stay within.
    ServiceWatch* m_watch = nullptr;
    RowBudget m_budget;
    // The base addresses of the row's service processes past its first.
    QStringList m_furtherServices;
};
