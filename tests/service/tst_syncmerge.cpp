#include "changeset.h"
#include "data/sqlitehandle.h"
#include "preparedqueries.h"
#include "seenchanges.h"
#include "servicestore.h"
#include "storehold.h"
#include "synccost.h"
#include "syncmerge.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <chrono>
#include <future>
#include <new>
#include <optional>
#include <thread>

namespace {
// Set once the merge says it has worked out what it writes: from then on it is in its transaction, or about to be.
bool workedOut = false;
QtMessageHandler defaultHandler = nullptr;

void watchLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    workedOut = workedOut || message.startsWith("a sync has worked out its merge");
    defaultHandler(type, context, message);
}

// An upload whose bill table has the rows given, as JSON lists of id, title and version, the other tables none.
QByteArray upload(const QByteArrayList& bills)
{
    QByteArrayList entries;
    for (const QString& table : ChangeSet::tableNames())
        entries << R"({"table_name":")" + table.toUtf8() +
                       R"(","update_columns":["id","title","version"],"update_data":[)" +
                       (table == "bill" ? bills.join(',') : QByteArray()) +
                       R"(],"delete_columns":["id","version"],"delete_data":[]})";
    return "[" + entries.join(',') + "]";
}

QByteArray upload(const QByteArray& id)
{
    return upload(QByteArrayList{R"([")" + id + R"(","t","2024-05-01 10:00:00"])"});
}

// A store in the folder that holds one account, whose user id is "1234567800".
bool openWithAccount(ServiceStore& store, const QTemporaryDir& folder)
{
    return store.open("sqlite:" + folder.filePath("store.db")) &&
           store.addAccount(StoredAccount{"owner", "1234567800", "salt", 1, "hash"});
}

// Makes the store file as a version before the records' sizes made it, holding ten records of the title for the
// account, from before the change log.
bool storeAsBefore(const QString& path, const QByteArray& title)
{
    bool made = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "earlier");
        db.setDatabaseName(path);
        QSqlQuery query(db);
        made = db.open() &&
               query.exec("create table records (user_id text not null, table_name text not null, id text "
                          "not null, version text not null, deleted integer not null, data text not "
                          "null, seq bigint not null default 0, primary key (user_id, table_name, id))") &&
               query.prepare("insert into records values ('1234567800', 'bill', ?, '2024-05-01 10:00:00', 0, ?, 0)");
        for (int i = 0; made && i < 10; ++i) {
            query.addBindValue("large" + QString::number(i));
            query.addBindValue(QString::fromUtf8("{\"title\":\"" + title + "\"}"));
            made = query.exec();
        }
    }
    QSqlDatabase::removeDatabase("earlier");
    return made;
}

DeviceClock deviceClock()
{
    return {"2008-08-08 08:08:08", "2024-05-01 12:00:00", QDateTime::currentMSecsSinceEpoch()};
}

// An upload of that many bills, stamped with the version.
QByteArray bills(int count, const QByteArray& version)
{
    QByteArrayList rows;
    for (int i = 0; i < count; ++i)
        rows << R"([")" + QByteArray::number(100000 + i) + R"(","t",")" + version + R"("])";
    return upload(rows);
}

// What the store's only connection does, seen through SQLite's trace: the statements it starts of a kind, and the
// bytes of every row its statements hand over, the values a merge has read. A test's device may go as the store
// starts one of its statements: the hang-up then lands in one page of the store's work, whatever the machine's pace.
class StoreTrace
{
public:
    // `kind` is how the statements counted begin; the `markAt`th of them starts the clock of msSinceMark().
    explicit StoreTrace(const QByteArray& kind = {}, int markAt = 0) : m_kind(kind), m_markAt(markAt)
    {
        const QStringList names = QSqlDatabase::connectionNames();
        if (names.size() == 1)
            m_handle = SqliteHandle::of(QSqlDatabase::database(names.first(), false));
        if (m_handle)
            sqlite3_trace_v2(m_handle, SQLITE_TRACE_STMT | SQLITE_TRACE_ROW, &StoreTrace::traced, this);
    }
    ~StoreTrace()
    {
        if (m_handle)
            sqlite3_trace_v2(m_handle, 0, nullptr, nullptr);
    }
    StoreTrace(const StoreTrace&) = delete;
    StoreTrace& operator=(const StoreTrace&) = delete;

    bool watching() const { return m_handle != nullptr; }
    // Milliseconds since the store started its `markAt`th statement of the kind, the moment a device went.
    qint64 msSinceMark() const { return m_mark.elapsed(); }
    // The statements of the kind started so far.
    int count() const { return m_count; }
    qint64 rowBytes() const { return m_rowBytes; }

private:
    static int traced(unsigned type, void* context, void* statement, void* sql)
    {
        auto* self = static_cast<StoreTrace*>(context);
        if (type == SQLITE_TRACE_STMT && QByteArrayView(static_cast<const char*>(sql)).startsWith(self->m_kind) &&
            ++self->m_count == self->m_markAt)
            self->m_mark.start();
        auto* row = static_cast<sqlite3_stmt*>(statement);
        for (int column = 0; type == SQLITE_TRACE_ROW && column < sqlite3_column_count(row); ++column)
            self->m_rowBytes += sqlite3_column_bytes(row, column);
        return 0;
    }

    QByteArray m_kind;
    int m_count = 0;
    qint64 m_rowBytes = 0;
    int m_markAt;
    QElapsedTimer m_mark;
    sqlite3* m_handle = nullptr;
};

// Other writers of the store, one after another on a thread of their own as another service process's syncs would
// be: each takes the store's writing, holds it for a while and commits a row. The first holds it once the object is
// made; the last has committed once it is gone.
class WriterChain
{
public:
    WriterChain(const QString& path, int writers, std::chrono::milliseconds hold)
    {
        std::promise<void> first;
        std::future<void> holding = first.get_future();
        m_thread = std::thread([path, writers, hold, first = std::move(first)]() mutable {
            sqlite3* db = nullptr;
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_busy_timeout(db, 30000);
            for (int i = 0; i < writers; ++i) {
                sqlite3_exec(db, "begin immediate; insert into signups (received, address) values ('now', 'w')",
                             nullptr, nullptr, nullptr);
                if (i == 0)
                    first.set_value();
                std::this_thread::sleep_for(hold);
                sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
            }
            sqlite3_close(db);
        });
        holding.wait();
    }
    ~WriterChain() { m_thread.join(); }
    WriterChain(const WriterChain&) = delete;
    WriterChain& operator=(const WriterChain&) = delete;

private:
    std::thread m_thread;
};
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
        QVERIFY(openWithAccount(store, folder));
        const DeviceClock clock = deviceClock();
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
            QCOMPARE(SyncMerge(store, "1234567800", failing).merge(first, clock, lost), SyncMerge::Outcome::Failed);
        QVERIFY(workedOut);

        ChangeSet next;
        QVERIFY(next.read(upload("2"), [] { return false; }));
        AnswerText answer;
        QCOMPARE(SyncMerge(store, "1234567800", [] { return false; }).merge(next, clock, answer),
                 SyncMerge::Outcome::Merged);
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, 1);
    }

    // A merge of the cheap line whose reading would pass the bound, by the records changed since the device's last
    // sync or by the stored records its upload names, finds that from the sizes the store keeps: it goes to the
    // expensive line having read no more than the bound of the account's 3 MB in ten records. So does one of records
    // that an earlier version stored without their sizes, which the store counts when it opens.
    void boundedMergeReadsNoMoreThanItsBound_data()
    {
        QTest::addColumn<QString>("syncTime");
        QTest::addColumn<bool>("namesThem");
        QTest::addColumn<bool>("storedBefore");
        const QString unplaced = "2008-08-08 08:08:08";
        QTest::newRow("a sync the store cannot place") << unplaced << false << false;
        QTest::newRow("a placed sync naming the large records") << "2024-05-01 12:00:00" << true << false;
        QTest::newRow("a sync the store cannot place, of records stored before") << unplaced << false << true;
    }

    void boundedMergeReadsNoMoreThanItsBound()
    {
        QFETCH(QString, syncTime);
        QFETCH(bool, namesThem);
        QFETCH(bool, storedBefore);
        QTemporaryDir folder;
        const QByteArray title(300000, 't');
        if (storedBefore)
            QVERIFY(storeAsBefore(folder.filePath("store.db"), title));
        ServiceStore store;
        QVERIFY(openWithAccount(store, folder));
        const auto records = [](const QByteArray& title) {
            QByteArrayList rows;
            for (int i = 0; i < 10; ++i)
                rows << "[\"large" + QByteArray::number(i) + "\",\"" + title + "\",\"2024-05-01 10:00:00\"]";
            return upload(rows);
        };
        ChangeSet large;
        QVERIFY(large.read(records(title), [] { return false; }));
        AnswerText stored;
        if (!storedBefore)
            QCOMPARE(SyncMerge(store, "1234567800", [] { return false; }).merge(large, deviceClock(), stored),
                     SyncMerge::Outcome::Merged);

        ChangeSet next;
        QVERIFY(next.read(namesThem ? records("t") : upload(QByteArrayList()), [] { return false; }));
        const StoreTrace read;
        QVERIFY(read.watching());
        AnswerText answer;
        const DeviceClock clock{syncTime, "2024-05-01 12:00:00", QDateTime::currentMSecsSinceEpoch()};
        QCOMPARE(SyncMerge(
                     store, "1234567800", [] { return false; }, true)
                     .merge(next, clock, answer),
                 SyncMerge::Outcome::Expensive);
        QVERIFY2(read.rowBytes() <= SyncCost::cheapBytes, qPrintable(QString("%1 bytes read").arg(read.rowBytes())));
    }

    // A merge waits for the store's writing while the writers before it, of other accounts or other processes, each
    // let go within half a second: a crowd of syncs written one after another is not told the service is busy,
    // however long it takes in all. A writer that holds the store past half a second has the merge told so, with
    // nothing written.
    void waitsWhileTheWritersBeforeItLetGo_data()
    {
        QTest::addColumn<int>("writers");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<SyncMerge::Outcome>("outcome");
        QTest::newRow("six writers of 150 ms") << 6 << 150 << SyncMerge::Outcome::Merged;
        QTest::newRow("one writer of 1.5 s") << 1 << 1500 << SyncMerge::Outcome::Busy;
    }

    void waitsWhileTheWritersBeforeItLetGo()
    {
        QFETCH(int, writers);
        QFETCH(int, holdMs);
        QFETCH(SyncMerge::Outcome, outcome);
        QTemporaryDir folder;
        ServiceStore store;
        QVERIFY(openWithAccount(store, folder));
        ChangeSet upload;
        QVERIFY(upload.read(bills(10, "2024-05-01 10:00:00"), [] { return false; }));
        AnswerText answer;
        {
            const WriterChain others(folder.filePath("store.db"), writers, std::chrono::milliseconds(holdMs));
            QCOMPARE(SyncMerge(store, "1234567800", [] { return false; }).merge(upload, deviceClock(), answer),
                     outcome);
        }
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, outcome == SyncMerge::Outcome::Merged ? 1 : 0);
    }

    // Reading an upload stops at the row at hand once its device has gone.
    void readingStopsOnceTheDeviceHasGone_data()
    {
        QTest::addColumn<int>("goneAt");
        QTest::newRow("before the first row") << 1;
        QTest::newRow("after 500 rows") << 501;
    }
    void readingStopsOnceTheDeviceHasGone()
    {
        QFETCH(int, goneAt);
        int asked = 0;
        ChangeSet upload;
        QVERIFY(!upload.read(bills(1200, "2024-05-01 10:00:00"), [&asked, goneAt] { return ++asked >= goneAt; }));
        QCOMPARE(asked, goneAt);
    }

    // A merge whose device goes while the store looks up or writes a page of its records does no further page, and
    // one whose device goes after its last page of writing, before its commit, is not committed: the store holds
    // the account as before. The account holds 1,200 bills that the device sends anew, three pages of lookups and
    // twelve of writing. One whose device goes while it waits for the store's writing, which another writer holds,
    // stops waiting. Each ends at once, well before the half second a sync may wait for its account.
    void mergeStopsAtThePageWhereItsDeviceWent_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("goneAt");
        QTest::addColumn<bool>("held");
        const QByteArray lookup = "select id, version, deleted, data from records";
        const QByteArray write = "insert into records";
        QTest::newRow("in its first lookup") << lookup << 1 << false;
        QTest::newRow("in its second lookup") << lookup << 2 << false;
        QTest::newRow("in its first write") << write << 1 << false;
        QTest::newRow("in its fifth write") << write << 5 << false;
        QTest::newRow("in its last write, before the commit") << write << 12 << false;
        QTest::newRow("waiting for another writer") << QByteArray("update accounts") << 1 << true;
    }

    void mergeStopsAtThePageWhereItsDeviceWent()
    {
        QFETCH(QByteArray, kind);
        QFETCH(int, goneAt);
        QFETCH(bool, held);
        QTemporaryDir folder;
        ServiceStore store;
        QVERIFY(openWithAccount(store, folder));
        const DeviceClock clock = deviceClock();
        ChangeSet first;
        QVERIFY(first.read(bills(1200, "2024-05-01 10:00:00"), [] { return false; }));
        AnswerText firstAnswer;
        QCOMPARE(SyncMerge(store, "1234567800", [] { return false; }).merge(first, clock, firstAnswer),
                 SyncMerge::Outcome::Merged);

        ChangeSet next;
        QVERIFY(next.read(bills(1200, "2024-05-02 10:00:00"), [] { return false; }));
        const StoreTrace device(kind, goneAt);
        QVERIFY(device.watching());
        std::optional<StoreHold> writer;
        if (held)
            QVERIFY(writer.emplace("sqlite:" + folder.filePath("store.db")).held());
        const auto gone = [&device, goneAt] { return device.count() >= goneAt; };
        AnswerText answer;
        QCOMPARE(SyncMerge(store, "1234567800", gone).merge(next, clock, answer), SyncMerge::Outcome::Failed);
        QVERIFY2(device.msSinceMark() < ServiceStore::accountWait.count(),
                 qPrintable(QString("ended %1 ms after its device went").arg(device.msSinceMark())));
        QCOMPARE(device.count(), goneAt);
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, 1);
    }

    // A connection keeps its prepared statements up to its bound of 64, however many different ones it is asked for:
    // each one past the bound lets go of the one used least lately, and one asked for all along stays prepared.
    void keepsItsStatementsWithinTheirBound()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "statements");
            db.setDatabaseName(":memory:");
            QVERIFY(db.open());
            sqlite3* handle = SqliteHandle::of(db);
            QVERIFY(handle);
            PreparedQueries queries;
            const std::shared_ptr<QSqlQuery> often = queries.prepared(db, "select 0");
            for (int i = 1; i <= 100; ++i) {
                QVERIFY(queries.prepared(db, QString("select %1").arg(i)));
                QCOMPARE(queries.prepared(db, "select 0"), often);
            }
            int live = 0;
            for (sqlite3_stmt* statement = sqlite3_next_stmt(handle, nullptr); statement;
                 statement = sqlite3_next_stmt(handle, statement))
                ++live;
            QCOMPARE(live, 64);
        }
        QSqlDatabase::removeDatabase("statements");
    }
};

QTEST_GUILESS_MAIN(TestSyncMerge)
#include "tst_syncmerge.moc"
