#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTest>

#include <algorithm>
#include <functional>

class HostileConnection;

// What the attack rows send and how they read what came back, shared by the rows of every kind.

// The start of a first sync: what a device that never synced names as its last sync.
inline const QByteArray neverSynced = "2008-08-08 08:08:08";
// The bill columns of the program's book.
extern const QByteArray billColumns;

// The "error" code of an answer as HostileConnection or RawHttp keeps it, "change set" for one, or what it was.
QString outcome(const QByteArray& answer);
// A change set whose bill table holds the rows given; the other tables are empty.
QByteArray changeSet(const QByteArray& billColumns, int rows, const std::function<QByteArray(int)>& row);
// A sync as a client that leaves its form unencoded sends it: the service decodes only "%" and "+".
QByteArray syncRequest(const QString& account, const QByteArray& data, const QByteArray& syncTime = neverSynced);
// A sync of the account, about `bytes` long whole, of as many bills as make it so.
QByteArray syncOfSize(const QString& account, qint64 bytes);
// Bills numbered from `first` on.
QByteArray billRecordData(int count = 200000, int first = 0);
// The head of a sync whose body is that long.
QByteArray syncHead(qint64 length);
// The `i`th of a run of loopback addresses in 127.N.0.0/16, 250 to each /24.
QString spreadAddress(int network, int i);
// The 8 accounts of about 20 MB that the crowds of expensive syncs ask for.
QString abandonedAccount(int i);
QString seconds(qint64 ms);
// How many of each ending there were: "3 closed unanswered, 940 error 1", or "none".
QString tally(const QMap<QString, int>& endings);
QString tally(const QStringList& answers);

// Keeps `count` connections open for the time, each made again by `make` as soon as it is closed, and tallies how
// the closed ones ended. Returns how many were made.
int holdOpen(int count, int timeMs, const std::function<HostileConnection*(int)>& make, QMap<QString, int>& endings);

template <class Connections> int openCount(const Connections& connections)
{
    return int(std::count_if(connections.cbegin(), connections.cend(), [](const auto& c) { return c->isOpen(); }));
}

// Waits until the service has closed every connection. Past the time, what is still open is reported as such.
template <class Connections> void awaitClosed(const Connections& connections, int timeoutMs)
{
    (void)QTest::qWaitFor([&connections] { return openCount(connections) == 0; }, timeoutMs);
}
