#include "changeset.h"
#include "seenchanges.h"
#include "servicestore.h"
#include "syncmerge.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

#include <new>

namespace {
// Set once the merge says it has worked out what it writes: from then on it is in its transaction, or about to be.
bool workedOut = false;
QtMessageHandler defaultHandler = nullptr;

void watchLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    workedOut = workedOut || message.startsWith("a sync has worked out its merge");
    defaultHandler(type, context, message);
}

QByteArray upload(const QByteArray& id)
{
    QByteArrayList entries;
    for (const QString& table : ChangeSet::tableNames())
        entries << R"({"table_name":")" + table.toUtf8() +
                       R"(","update_columns":["id","title","version"],"update_data":[)" +
                       (table == "bill" ? R"([")" + id + R"(","t","2024-05-01 10:00:00"])" : QByteArray()) +
                       R"(],"delete_columns":["id","version"],"delete_data":[]})";
    return "[" + entries.join(',') + "]";
}
} // namespace

class TestSyncMerge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("quillbay.service.turns.debug=true");
        defaultHandler = qInstallMessageHandler(watchLog);
    }

    // A merge that fails once it is in its transaction, its device gone or its work thrown out of it as a failed
    // allocation would, leaves neither the account nor the store held: the next merge on the same connection is
    // stored.
    void failedMergeHoldsNothing_data()
    {
        QTest::addColumn<bool>("throws");
        QTest::newRow("its device gone") << false;
        QTest::newRow("its work thrown") << true;
    }

    void failedMergeHoldsNothing()
    {
        QFETCH(bool, throws);
        QTemporaryDir folder;
        ServiceStore store;
        QVERIFY(store.open("sqlite:" + folder.filePath("store.db")));
        QVERIFY(store.addAccount(StoredAccount{"owner", "1234567800", "salt", 1, "hash"}));
        const DeviceClock clock{"2008-08-08 08:08:08", "2024-05-01 12:00:00", QDateTime::currentMSecsSinceEpoch()};
        ChangeSet first;
        QVERIFY(first.read(upload("1"), [] { return false; }));

        workedOut = false;
        const auto failing = [throws] {
            if (workedOut && throws)
                throw std::bad_alloc();
            return workedOut;
        };
        AnswerText lost;
        if (throws)
            QVERIFY_THROWS_EXCEPTION(std::bad_alloc, SyncMerge(store, "1234567800", failing).merge(first, clock, lost));
        else
            QVERIFY(!SyncMerge(store, "1234567800", failing).merge(first, clock, lost));
        QVERIFY(workedOut);

        ChangeSet next;
        QVERIFY(next.read(upload("2"), [] { return false; }));
        AnswerText answer;
        QVERIFY(SyncMerge(store, "1234567800", [] { return false; }).merge(next, clock, answer));
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, 1);
    }
};

QTEST_GUILESS_MAIN(TestSyncMerge)
#include "tst_syncmerge.moc"
