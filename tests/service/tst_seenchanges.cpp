#include "changelog.h"
#include "seenchanges.h"

#include <QtTest>

namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
const qint64 minute = 60 * 1000;
// When the device began its last sync, in the service's clock.
const qint64 t0 = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();

QString text(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(stampFormat);
}

// An account's log held in a list, answered the way the store answers from its table.
class LogStandIn : public ChangeLog
{
public:
    struct Entry
    {
        qint64 change;
        qint64 applied;
        QString sent;
    };
    QList<Entry> entries;

    bool firstChangeSince(const QString&, qint64 applied, std::optional<qint64>& change) const override
    {
        change.reset();
        for (const Entry& entry : entries)
            if (entry.applied >= applied && (!change || entry.change < *change))
                change = entry.change;
        return true;
    }
    bool earliestSentBetween(const QString&, const QString& from, const QString& to,
                             std::optional<qint64>& applied) const override
    {
        applied.reset();
        for (const Entry& entry : entries)
            if (entry.sent >= from && entry.sent <= to && (!applied || entry.applied < *applied))
                applied = entry.applied;
        return true;
    }
    bool loggedSince(const QString&, std::optional<qint64>& applied) const override
    {
        applied = std::numeric_limits<qint64>::min();
        return true;
    }
};
} // namespace

class TestSeenChanges : public QObject
{
    Q_OBJECT

private slots:
    // The device's clock ran with the service's at its last sync, which began at t0 and was applied as change 5;
    // change 6 came from another device after it, and change 7 from a third whose clock runs five minutes behind.
    // Now, half an hour later, the device's clock reads `offset` minutes off. Change 6 must be in the answer, and
    // what the device's last answer held need not be.
    void findsTheDevicesLastSync_data()
    {
        QTest::addColumn<qint64>("uploaded"); // minutes after t0 that the device's upload left
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("seen");
        QTest::newRow("upload sent at once") << qint64(1) << qint64(0) << qint64(5);
        // Only the third device's sync lies in the time after t0 that the device's own would be looked for in.
        QTest::newRow("upload late, clock set back a little since") << qint64(12) << qint64(-3) << qint64(5);
        QTest::newRow("upload late, clock set ahead a little since") << qint64(12) << qint64(3) << qint64(5);
        // Reading earlier than its last sync began, the clock says nothing about when that was.
        QTest::newRow("clock set back before the last sync") << qint64(1) << qint64(-40) << qint64(-1);
    }
    void findsTheDevicesLastSync()
    {
        QFETCH(qint64, uploaded);
        QFETCH(qint64, offset);
        QFETCH(qint64, seen);
        LogStandIn log;
        log.entries = {{4, t0 - 30 * minute, text(t0 - 30 * minute)},
                       {5, t0 + uploaded * minute, text(t0 + uploaded * minute)},
                       {6, t0 + 12 * minute + 30000, text(t0 + 12 * minute + 30000)},
                       {7, t0 + 14 * minute, text(t0 + 9 * minute)}};
        const qint64 now = t0 + 30 * minute;
        const DeviceClock clock{text(t0), text(now + offset * minute), now};
        qint64 found = -2;
        QVERIFY(SeenChanges::lastSeen(log, "u1", clock, found));
        QCOMPARE(found, seen);
    }
};

QTEST_GUILESS_MAIN(TestSeenChanges)
#include "tst_seenchanges.moc"
