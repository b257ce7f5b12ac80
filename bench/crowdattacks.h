#pragma once

#include "attacktools.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class HostileConnection;
class RowBudget;
class ServiceProcess;

// The attack bench's rows in which a crowd of addresses each sends syncs of its own: hostile crowds that ask for
// whole large accounts or hold room with bodies that hardly move, while the owner must stay served, and honest
// crowds of households whose every sync must be answered with its change set.
class CrowdAttacks
{
public:
    // `crowdSize`: the accounts of the honest crowds, each syncing from an address of its own. `furtherServices`: the
    // base addresses of further service processes on the store of the row's service, over which the crowds' syncs
    // are spread with it; the accounts are made and filled through the row's service.
    CrowdAttacks(RowBudget& budget, int crowdSize, const QStringList& furtherServices);

    // The accounts of the honest crowds, made before a row starts.
    QString addAccounts(ServiceProcess& service);
    // 503 addresses each asking for one of the large accounts in full: a first sync whose answer is never read or
    // read 4 KB every 10 s, or a sync naming a last sync the store cannot place, never read.
    QString unread(ServiceProcess& service);
    QString slow(ServiceProcess& service);
    QString unplaced(ServiceProcess& service);
    // The 8 accounts of a few large records each, and 503 addresses each asking for one of them with a sync naming a
    // last sync the store cannot place, never read: each answer is 50 MB in 10 records.
    QString addFatAccounts(ServiceProcess& service);
    QString fat(ServiceProcess& service);
    // The 8 accounts of 1,999 bills, and 503 addresses each uploading those bills to one of them again and again with
    // a sync naming a last sync the store cannot place, each answer read: each upload is just under both bounds of
    // the cheap line, and its sync over them once the account is counted.
    QString addBoundedAccounts(ServiceProcess& service);
    QString bounded(ServiceProcess& service);
    // 503 addresses each sending the head of a 1 MB sync, then a byte every 4 s; or its body at 65 KB/s.
    QString trickle(ServiceProcess& service);
    QString paced(ServiceProcess& service);
    // Households syncing 1 MB at once.
    QString honest(ServiceProcess& service);
    // Households at 100 KB/s holding both turns of large bodies and filling the memory for bodies, while large
    // syncs sent at full speed wait in line.
    QString mixed(ServiceProcess& service);

private:
    using Syncs = std::vector<std::unique_ptr<HostileConnection>>;

    // The crowd of 503 addresses asking for the large accounts (`account(i)` of the 8 for the ith), each sync naming
    // `syncTime(i)` as its last and sending `upload` (no rows when empty), each answer taken by `read` (`what` says
    // how); each connection the service closes is made again.
    QString largeAccountCrowd(ServiceProcess& service, const QString& what,
                              const std::function<QByteArray(int)>& syncTime,
                              const std::function<void(HostileConnection&)>& read,
                              const std::function<QString(int)>& account = abandonedAccount,
                              const QByteArray& upload = QByteArray());
    // Makes the 8 accounts named and fills each with the upload.
    static void fillAccounts(ServiceProcess& service, const std::function<QString(int)>& account,
                             const QByteArray& upload);
    // That crowd, each sync naming a last sync the store cannot place, never read.
    QString unplacedCrowd(ServiceProcess& service, const std::function<QString(int)>& account);
    // The crowd of 503 addresses of the network 127.N.0.0/16 each sending the head of a 1 MB sync and then the body a
    // piece every interval (`what` says how); each connection the service closes is made again.
    QString bodyCrowd(ServiceProcess& service, int network, const QByteArray& body, int intervalMs, int piece,
                      const QString& what);
    // The base address the crowd's `i`th connection goes to: the row's service and the further ones, in turn.
    QString serviceUrl(const ServiceProcess& service, int i) const;
    // Judges that every one of the syncs, closed by now, was answered with its change set; says how they ended and
    // how long the slowest took.
    QString judgeAnswered(const QString& what, Syncs::const_iterator begin, Syncs::const_iterator end);

    RowBudget& m_budget;
    int m_crowdSize;
    QStringList m_furtherServices;
};
