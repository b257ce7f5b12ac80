#pragma once

#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QVariantList>

// A device of an account that speaks the sync protocol itself instead of running the program: it keeps bills of
// its own, adds, changes and deletes them with stamps that grow across all devices of the process (so the later
// edit always has the later stamp), uploads what changed and merges the answer by stamp as the program does. Like
// the program it sends the start of its last completed sync and the time of sending, both read from its own clock.
class SimulatedDevice : public QObject
{
    Q_OBJECT

public:
    SimulatedDevice(const QString& baseUrl, const QString& account, const QString& password, quint32 seed);

    // Adds bills of its own, as a book in use holds them, to be sent at the next sync.
    void addBills(int count);
    // Sets the device's clock this many seconds ahead of the machine's (behind when negative).
    void setClockOffset(qint64 seconds) { m_clockOffset = seconds; }
    // Binds to the account when not yet bound, then runs the rounds, each some edits and a sync; done() at the end.
    void run(int rounds, int editsPerRound);

    // Runs every device at once and returns when all are done; false when they were not done in time.
    static bool runTogether(const QList<SimulatedDevice*>& devices, int rounds, int editsPerRound,
                            int timeoutMs = 300000);
    // Runs rounds of one sync each and no edits until, in one round, no device had anything left to send and every
    // sync was applied: the store stood still and each device now holds what it holds. False when that took more
    // than `maxRounds` rounds, as syncs told the service is busy may.
    static bool settle(const QList<SimulatedDevice*>& devices, int maxRounds = 10);

    // The device's bills: id to "stamp title amount" or, for a deleted one, "stamp -".
    const QMap<QString, QString>& bills() const { return m_bills; }
    // The device's own edits, sent in a sync that was applied, that the bills neither hold nor have overwritten with a
    // later stamp.
    QStringList lostEdits(const QMap<QString, QString>& bills) const;
    // The device's own edits still waiting on it for a sync that is applied.
    qsizetype undeliveredEdits() const { return m_unsent.size(); }
    // Answers that held an older state of a bill than the device had sent or received before.
    int staleAnswers() const { return m_staleAnswers; }
    // Requests that failed or were refused, but for syncs told the service is busy.
    int failures() const { return m_failures; }
    // Syncs told the service is busy: as the program does, the device keeps their edits for its next sync.
    int busyAnswers() const { return m_busyAnswers; }
    // Time of each request that was answered, in microseconds.
    const QList<qint64>& latencies() const { return m_latencies; }

signals:
    void done();

private:
    void edit();
    void addBill();
    void write(const QString& id, const QString& state);
    void next();
    void post(const QString& path, QList<QPair<QString, QString>> form,
              void (SimulatedDevice::*handler)(const QString&));
    void bound(const QString& answer);
    void synced(const QString& answer);
    void upload();
    QString changeSet() const;
    void merge(const QString& id, const QString& state);
    QString clock() const;

    QNetworkAccessManager m_network;
    QString m_baseUrl;
    QString m_account;
    QString m_password;
    QRandomGenerator m_random;
    QString m_userId;
    QMap<QString, QString> m_bills;
    QMap<QString, QString> m_ownEdits;
    QSet<QString> m_unsent;
    qint64 m_clockOffset = 0;
    QString m_syncTime;
    QString m_syncStart;
    int m_rounds = 0;
    int m_editsPerRound = 0;
    int m_staleAnswers = 0;
    int m_failures = 0;
    int m_busyAnswers = 0;
    bool m_lastSyncApplied = false;
    QList<qint64> m_latencies;
};
