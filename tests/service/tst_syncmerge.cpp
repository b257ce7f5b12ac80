#include "changeset.h"
#include "data/sqlitehandle.h"
#include "idsorderedapart.h"
#include "online/jsoncodec.h"
#include "seenchanges.h"
#include "servicestore.h"
#include "storeaddress.h"
#include "storerelay.h"
#include "synccost.h"
#include "syncmerge.h"
#include "testpooler.h"
#include "teststore.h"
#include "wiresizesql.h"
#include "writelockwait.h"
#include "writerchain.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdio>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <optional>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's own count of what is allocated, which its runtime offers whatever compiler built it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {
// Set once the merge says it has worked out what it writes: from then on it is in its transaction, or about to be.
bool workedOut = false;
// How many times the store told the operator that its server sessions are shared among connections.
int toldOfSharedSessions = 0;
// Whether libpq is to refuse reading the next statement's rows one at a time, which it refuses only where a
// statement's results have begun to come: the store never lets that happen, so a test has it refused.
std::atomic<bool> refuseRowsOneAtATime{false};
QtMessageHandler defaultHandler = nullptr;

void watchLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    workedOut = workedOut || message.startsWith("a sync has worked out its merge");
    toldOfSharedSessions += message.contains("add pool_mode=transaction to the --database address") ? 1 : 0;
    defaultHandler(type, context, message);
}

// An upload whose bill table has the rows given, as JSON lists of id, title and version, the other tables none; the
// device names `otherColumns` columns besides, which its rows leave empty and the records lack.
QByteArray upload(const QByteArrayList& bills, int otherColumns = 0)
{
    QByteArray columns = R"("id","title","version")";
    QByteArray empty;
    for (int i = 0; i < otherColumns; ++i) {
        columns += R"(,"c)" + QByteArray::number(i) + '"';
        empty += R"(,"")";
    }
    QByteArrayList rows;
    for (const QByteArray& bill : bills)
        rows << bill.chopped(1) + empty + ']';
    QByteArrayList entries;
    for (const QString& table : ChangeSet::tableNames())
        entries << R"({"table_name":")" + table.toUtf8() + R"(","update_columns":[)" + columns +
                       R"(],"update_data":[)" + (table == "bill" ? rows.join(',') : QByteArray()) +
                       R"(],"delete_columns":["id","version"],"delete_data":[]})";
    return "[" + entries.join(',') + "]";
}

QByteArray upload(const QByteArray& id)
{
    return upload(QByteArrayList{R"([")" + id + R"(","t","2024-05-01 10:00:00"])"});
}

// Who wrote a record to the store: this version's service; a process of an earlier version, whose statement names
// no size; the service of the version before the store's triggers, which wrote the sizes it counted itself; or a
// process of an earlier version through the triggers of an earlier version, which counted sizes otherwise.
enum class Writer
{
    ThisVersion,
    EarlierProcess,
    ServiceBeforeTriggers,
    EarlierTriggers,
};

// A store of the test run's kind for one test (on SQLite a file in a folder of its own; on PostgreSQL a database of
// the encoding given, or the cluster's own, or one sorting texts by an ICU locale's rules), which once opened holds
// one account, whose user id is "1234567800".
struct AccountStore
{
    explicit AccountStore(const QString& encoding = {}, const QString& icuLocale = {})
        : at(folder.filePath("store.db"), encoding, icuLocale)
    {
    }

    QTemporaryDir folder;
    TestStore at;
    ServiceStore store;

    // Opens the store at its address, or at the one given: through a relay.
    bool open(const QString& address = {})
    {
        return store.open(address.isEmpty() ? at.address() : address) &&
               store.addAccount(StoredAccount{"owner", "1234567800", "salt", 1, "hash"});
    }
    QString sqlitePath() const { return folder.filePath("store.db"); }
};

// Runs `use` on a connection of the test's own to the store, open, which goes once it returns: what it returns, or
// what its kind holds when made empty when the store cannot be opened.
template <typename Use> auto onOwnConnection(const TestStore& at, Use use)
{
    decltype(use(std::declval<QSqlDatabase&>())) result{};
    QString connection;
    {
        QString error;
        QSqlDatabase db = StoreAddress::database(at.address(), error);
        connection = db.connectionName();
        if (db.open())
            result = use(db);
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

// Makes the store as a version before the records' sizes made it, holding ten records of the title for the
// account, from before the change log.
bool storeAsBefore(const TestStore& at, const QByteArray& title)
{
    return onOwnConnection(at, [&title](QSqlDatabase& db) {
        QSqlQuery query(db);
        bool made =
            query.exec("create table records (user_id text not null, table_name text not null, id text not null, "
                       "version text not null, deleted integer not null, data text not null, seq bigint not null "
                       "default 0, primary key (user_id, table_name, id))") &&
            query.prepare("insert into records values ('1234567800', 'bill', ?, '2024-05-01 10:00:00', 0, ?, 0)");
        for (int i = 0; made && i < 10; ++i) {
            query.addBindValue("large" + QString::number(i));
            query.addBindValue(QString::fromUtf8("{\"title\":\"" + title + "\"}"));
            made = query.exec();
        }
        return made;
    });
}

// Writes the records to the store as a process of an earlier version writes them, with its own statement, which
// names no size, as the account's next change.
bool writeAsEarlierVersion(const TestStore& at, const RecordBatch& records)
{
    return onOwnConnection(at, [&records](QSqlDatabase& db) {
        QSqlQuery query(db);
        const QString next = "(select coalesce(max(seq), 0) + 1 from syncs where user_id = '1234567800')";
        bool written =
            db.transaction() &&
            QSqlQuery(db).exec("insert into syncs (user_id, seq, applied, client_time) select '1234567800', " + next +
                               ", 0, '2024-05-01 11:00:00'") &&
            query.prepare("insert into records (user_id, table_name, id, version, deleted, data, seq) values "
                          "('1234567800', 'bill', ?, ?, ?, ?, " +
                          next +
                          " - 1) on conflict (user_id, table_name, id) do update set version = excluded.version, "
                          "deleted = excluded.deleted, data = excluded.data, seq = excluded.seq");
        for (qsizetype i = 0; written && i < records.size(); ++i) {
            const StoredRecord record = records.at(i);
            query.addBindValue(QString::fromUtf8(record.id));
            query.addBindValue(QString::fromUtf8(record.version));
            query.addBindValue(record.deleted ? 1 : 0);
            query.addBindValue(QString::fromUtf8(record.data));
            written = query.exec();
        }
        return written && db.commit();
    });
}

// Makes the store as the version before the store's triggers made it, with the records and the sizes its service
// wrote for them; or, `upgraded`, the sizes its upgrade counted from the bytes of their texts, escapes left out.
bool storeAsCountedBefore(const TestStore& at, const RecordBatch& records, bool upgraded)
{
    return onOwnConnection(at, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        bool made =
            db.transaction() &&
            query.exec("create table records (user_id text not null, table_name text not null, id text not null, "
                       "version text not null, deleted integer not null, seq bigint not null default 0, wire_size "
                       "bigint not null default 0, data text not null, primary key (user_id, table_name, id))") &&
            query.prepare("insert into records values ('1234567800', 'bill', ?, ?, 0, 1, ?, ?)");
        for (qsizetype i = 0; made && i < records.size(); ++i) {
            const StoredRecord record = records.at(i);
            query.addBindValue(QString::fromUtf8(record.id));
            query.addBindValue(QString::fromUtf8(record.version));
            query.addBindValue(upgraded ? qint64(4 + record.id.size() + record.version.size() + record.data.size())
                                        : record.wireSize());
            query.addBindValue(QString::fromUtf8(record.data));
            made = query.exec();
        }
        return made && db.commit();
    });
}

// Makes the store as a version whose triggers counted a record's size otherwise made it: without the escapes of its
// id and stamp. The records are written as a process of an earlier version writes them, naming no size.
bool storeAsTriggeredBefore(const TestStore& at, const RecordBatch& records)
{
    const bool sqlite = !TestStore::onPostgreSql();
    const QString counted = sqlite ? "4 + length(cast(new.id as blob)) + length(cast(new.version as blob)) + "
                                     "length(cast(new.data as blob))"
                                   : "4 + octet_length(new.id) + octet_length(new.version) + octet_length(new.data)";
    const QString trigger = "create trigger records_sized_on_%1 after %1 on records begin update records set "
                            "wire_size = " +
                            counted + " where rowid = new.rowid; end";
    const QStringList triggers =
        sqlite ? QStringList{trigger.arg("insert"), trigger.arg("update")}
               : QStringList{"create function records_sized() returns trigger language plpgsql as $$ begin "
                             "new.wire_size := " +
                                 counted + "; return new; end $$",
                             "create trigger records_sized before insert or update on records for each row execute "
                             "function records_sized()"};
    return onOwnConnection(at, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        bool made = db.transaction() &&
                    query.exec("create table records (user_id text not null, table_name text not null, id text not "
                               "null, version text not null, deleted integer not null, seq bigint not null default 0, "
                               "wire_size bigint not null default 0, data text not null, primary key (user_id, "
                               "table_name, id))");
        for (const QString& statement : triggers)
            made = made && query.exec(statement);
        made = made && query.prepare("insert into records (user_id, table_name, id, version, deleted, seq, data) "
                                     "values ('1234567800', 'bill', ?, ?, 0, 1, ?)");
        for (qsizetype i = 0; made && i < records.size(); ++i) {
            query.addBindValue(QString::fromUtf8(records.at(i).id));
            query.addBindValue(QString::fromUtf8(records.at(i).version));
            query.addBindValue(QString::fromUtf8(records.at(i).data));
            made = query.exec();
        }
        return made && db.commit();
    });
}

// Makes the store's tables as the version before its texts compared as bytes made them, which on PostgreSQL compare
// in the database's collation, with that version's triggers, which count as this version's do.
bool storeAsComparedInTheDatabasesCollation(const TestStore& at)
{
    const QStringList made =
        QStringList{"create table accounts (name text primary key, user_id text not null unique, salt text not null, "
                    "iterations integer not null, hash text not null)",
                    "create table syncs (user_id text not null, seq bigint not null, applied bigint not null, "
                    "client_time text not null, primary key (user_id, seq))",
                    "create table records (user_id text not null, table_name text not null, id text not null, version "
                    "text not null, deleted integer not null, seq bigint not null default 0, wire_size bigint not "
                    "null default 0, data text not null, primary key (user_id, table_name, id))",
                    "create index records_by_change_size on records (user_id, seq, table_name, id, wire_size)"} +
        WireSizeSql::triggers(!TestStore::onPostgreSql());
    return TestStore::exec(at.address(), made);
}

// An upload of the bills and deletions: those whose place among the ids `rowsAt` tells a row of the title, the others
// a deletion, all at the stamp.
QByteArray rowsAndDeletions(const QList<QByteArray>& ids, const std::function<bool(int)>& rowsAt,
                            const QByteArray& title, const QByteArray& stamp)
{
    QByteArrayList rows;
    QByteArrayList deletions;
    for (int i = 0; i < ids.size(); ++i) {
        if (rowsAt(i))
            rows << R"([")" + ids.at(i) + R"(",")" + title + R"(",")" + stamp + R"("])";
        else
            deletions << R"([")" + ids.at(i) + R"(",")" + stamp + R"("])";
    }
    QByteArray sent = upload(rows);
    const QByteArray noDeletions = R"("delete_data":[])";
    return sent.replace(sent.indexOf(noDeletions), noDeletions.size(),
                        R"("delete_data":[)" + deletions.join(',') + "]");
}

// What the store keeps of each record, an expression over its columns, by the records' ids.
QHash<QByteArray, QVariant> keptOfEach(const TestStore& at, const QString& expression)
{
    return onOwnConnection(at, [&expression](QSqlDatabase& db) {
        QHash<QByteArray, QVariant> kept;
        QSqlQuery query(db);
        if (query.exec("select id, " + expression + " from records"))
            while (query.next())
                kept.insert(query.value(0).toString().toUtf8(), query.value(1));
        return kept;
    });
}

// The sizes the store keeps, by the records' ids.
QHash<QByteArray, QVariant> keptSizes(const TestStore& at)
{
    return keptOfEach(at, "wire_size");
}

// The records the store keeps, by their ids: "deleted" or their values, and their stamp.
QHash<QByteArray, QVariant> keptRecords(const TestStore& at)
{
    return keptOfEach(at, "case when deleted = 0 then data else 'deleted' end || ' ' || version");
}

// The bytes the process has taken from its allocator and not given back.
qint64 allocatedBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

// The most resident memory the process took while `work` ran, above what it held before, in bytes: from the peak the
// kernel keeps, set back to what the process holds first (/proc/self/clear_refs). A large block of memory is mapped
// apart, from the service's threshold on (initTestCase()), and given back as it is freed, so that it counts in full
// however much the allocator kept of what the test freed before.
qint64 residentPeakOf(const std::function<void()>& work)
{
    // The field's kilobytes, as "VmRSS:    1234 kB"; the file tells no size before it is read.
    const auto bytes = [](const QByteArray& field) {
        QFile status("/proc/self/status");
        const QByteArrayList lines = status.open(QIODevice::ReadOnly) ? status.readAll().split('\n') : QByteArrayList();
        for (const QByteArray& line : lines) {
            if (line.startsWith(field))
                return line.mid(field.size()).trimmed().chopped(3).trimmed().toLongLong() * 1024;
        }
        return qint64(-1);
    };
    QFile clear("/proc/self/clear_refs");
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return -1;
    clear.close();
    const qint64 before = bytes("VmRSS:");
    work();
    const qint64 peak = bytes("VmHWM:");
    // The kernel counts each thread's pages in batches, so that work that takes next to nothing may show a peak a page
    // or two below what was read before it: none, above it.
    return before < 0 || peak < 0 ? -1 : std::max<qint64>(peak - before, 0);
}

// Ten records "large0" on, with titles of that many bytes.
RecordBatch largeRecords(int titleBytes)
{
    RecordBatch records;
    const QByteArray data = "{\"title\":\"" + QByteArray(titleBytes, 't') + "\"}";
    for (int i = 0; i < 10; ++i)
        records.append(StoredRecord{"large" + QByteArray::number(i), "2024-05-01 11:00:00", false, data});
    return records;
}

DeviceClock deviceClock(const QString& lastSync = "2008-08-08 08:08:08")
{
    return {lastSync, "2024-05-01 12:00:00", QDateTime::currentMSecsSinceEpoch()};
}

// Merges the upload for the account, as sent by a device whose last sync was at `lastSync` and that stays, into the
// answer: the merge's outcome, Failed when the upload cannot be read.
SyncMerge::Outcome merged(ServiceStore& store, const QByteArray& sent, const QString& lastSync, AnswerText& answer)
{
    ChangeSet changes;
    if (!changes.read(sent, [] { return false; }))
        return SyncMerge::Outcome::Failed;
    return SyncMerge(store, "1234567800", [] { return false; }).merge(changes, deviceClock(lastSync), answer);
}

// The same, its answer dropped, by default for a device with no last sync.
SyncMerge::Outcome merged(ServiceStore& store, const QByteArray& sent, const QString& lastSync = "2008-08-08 08:08:08")
{
    AnswerText answer;
    return merged(store, sent, lastSync, answer);
}

// The bills a first sync of the account is answered with, as the device reads them: each one's stamp by its id.
QHash<QString, QString> servedBills(ServiceStore& store)
{
    AnswerText answer;
    QByteArray buffer;
    QByteArrayView text;
    if (merged(store, upload(QByteArrayList()), "2008-08-08 08:08:08", answer) != SyncMerge::Outcome::Merged ||
        !answer.read(0, answer.size(), buffer, text))
        return {};
    const QVariantMap bills = JsonCodec::parse(QString::fromUtf8(text)).toList().value(0).toMap();
    const QStringList columns = bills.value("update_columns").toStringList();
    QHash<QString, QString> served;
    for (const QVariant& row : bills.value("update_data").toList())
        served.insert(row.toStringList().value(columns.indexOf("id")),
                      row.toStringList().value(columns.indexOf("version")));
    return served;
}

// An upload of that many bills, stamped with the version.
QByteArray bills(int count, const QByteArray& version)
{
    QByteArrayList rows;
    for (int i = 0; i < count; ++i)
        rows << R"([")" + QByteArray::number(100000 + i) + R"(","t",")" + version + R"("])";
    return upload(rows);
}

// An upload of that many bills, "large0" on, with ids made up to `idBytes` and titles of `titleBytes`, in the columns
// of upload().
QByteArray largeBills(int count, int idBytes, int titleBytes, const QByteArray& version = "2024-05-01 10:00:00",
                      int otherColumns = 0)
{
    const QByteArray title(titleBytes, 't');
    QByteArrayList rows;
    for (int i = 0; i < count; ++i)
        rows << R"([")" + ("large" + QByteArray::number(i)).leftJustified(idBytes, 'i') + R"(",")" + title + R"(",")" +
                    version + R"("])";
    return upload(rows, otherColumns);
}

// Has the server forget statements prepared on the store's only connection, as a reset or a pooler's new session
// would: all of them, or its writes of records alone.
bool forgetOnStoreConnection(bool writesAlone)
{
    const QStringList names = QSqlDatabase::connectionNames();
    if (names.size() != 1)
        return false;
    const QSqlDatabase db = QSqlDatabase::database(names.first(), false);
    if (!writesAlone)
        return QSqlQuery(db).exec("deallocate all");
    QStringList writes;
    {
        QSqlQuery named(db);
        if (!named.exec("select name from pg_prepared_statements where statement like 'insert into records%'"))
            return false;
        while (named.next())
            writes << named.value(0).toString();
    }
    for (const QString& name : writes) {
        if (!QSqlQuery(db).exec("deallocate " + name))
            return false;
    }
    return !writes.isEmpty();
}

// The statements prepared on the store's only connection, by their text: SQLite's compiled statements, or those the
// PostgreSQL server keeps for the connection.
QStringList storeStatements()
{
    const QStringList names = QSqlDatabase::connectionNames();
    if (names.size() != 1)
        return {};
    const QSqlDatabase db = QSqlDatabase::database(names.first(), false);
    QStringList statements;
    if (sqlite3* handle = SqliteHandle::of(db)) {
        for (sqlite3_stmt* statement = sqlite3_next_stmt(handle, nullptr); statement;
             statement = sqlite3_next_stmt(handle, statement))
            statements << QString::fromUtf8(sqlite3_sql(statement));
        return statements;
    }
    QSqlQuery prepared(db);
    if (prepared.exec("select statement from pg_prepared_statements"))
        while (prepared.next())
            statements << prepared.value(0).toString().replace(QRegularExpression("\\$\\d+"), "?");
    return statements;
}

// SQLite's reading on the store's only connection broken off, as the store may break one off, at the row that holds the
// text in one of its columns: the statement's next step fails. The trace goes with the object.
class RowBreak
{
public:
    explicit RowBreak(const QByteArray& text) : m_text(text)
    {
        const QStringList names = QSqlDatabase::connectionNames();
        m_handle = names.size() == 1 ? SqliteHandle::of(QSqlDatabase::database(names.first(), false)) : nullptr;
        if (m_handle)
            sqlite3_trace_v2(m_handle, SQLITE_TRACE_ROW, &RowBreak::row, this);
    }
    ~RowBreak()
    {
        if (m_handle)
            sqlite3_trace_v2(m_handle, 0, nullptr, nullptr);
    }
    RowBreak(const RowBreak&) = delete;
    RowBreak& operator=(const RowBreak&) = delete;

    // Whether the reading came to the row and was broken off there.
    bool broken() const { return m_broken; }

private:
    static int row(unsigned, void* context, void* statement, void*)
    {
        auto* self = static_cast<RowBreak*>(context);
        auto* row = static_cast<sqlite3_stmt*>(statement);
        for (int column = 0; !self->m_broken && column < sqlite3_column_count(row); ++column) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            if (text && QByteArrayView(text, sqlite3_column_bytes(row, column)) == self->m_text) {
                self->m_broken = true;
                sqlite3_interrupt(self->m_handle);
            }
        }
        return 0;
    }

    QByteArray m_text;
    sqlite3* m_handle = nullptr;
    bool m_broken = false;
};

// What the store's only connection does, seen through SQLite's trace: the statements it starts of a kind, and the
// bytes of every row its statements hand over, the values a merge has read. A test's device may go as the store
// starts one of its statements: the hang-up then lands in one page of the store's work, whatever the machine's pace.
// On PostgreSQL the rows' bytes are those the server sends, seen through libpq's trace of the connection, where
// statements are not told apart.
class StoreTrace
{
public:
    // `kind` is how the statements counted begin; the `markAt`th of them starts the clock of msSinceMark().
    explicit StoreTrace(const QByteArray& kind = {}, int markAt = 0) : m_kind(kind), m_markAt(markAt)
    {
        const QStringList names = QSqlDatabase::connectionNames();
        if (names.size() != 1)
            return;
        const QSqlDatabase db = QSqlDatabase::database(names.first(), false);
        m_handle = SqliteHandle::of(db);
        if (m_handle) {
            sqlite3_trace_v2(m_handle, SQLITE_TRACE_STMT | SQLITE_TRACE_ROW, &StoreTrace::traced, this);
            return;
        }
        const QVariant server = db.driver()->handle();
        if (qstrcmp(server.typeName(), "pg_conn*") != 0 || !m_folder.isValid())
            return;
        m_sent = std::fopen(qPrintable(sentPath()), "w");
        m_server = *static_cast<PGconn* const*>(server.constData());
        if (!m_sent || !m_server)
            return;
        PQtrace(m_server, m_sent);
        PQsetTraceFlags(m_server, PQTRACE_SUPPRESS_TIMESTAMPS);
    }
    ~StoreTrace()
    {
        if (m_handle)
            sqlite3_trace_v2(m_handle, 0, nullptr, nullptr);
        if (m_server)
            PQuntrace(m_server);
        if (m_sent)
            std::fclose(m_sent);
    }
    StoreTrace(const StoreTrace&) = delete;
    StoreTrace& operator=(const StoreTrace&) = delete;

    bool watching() const { return m_handle != nullptr || (m_server && m_sent); }
    // Milliseconds since the store started its `markAt`th statement of the kind, the moment a device went.
    qint64 msSinceMark() const { return m_mark.elapsed(); }
    // The statements of the kind started so far.
    int count() const { return m_count; }
    qint64 rowBytes() const { return m_server ? sentRowBytes() : m_rowBytes; }
    // The rows SQLite's statements handed over.
    int rows() const { return m_rows; }

private:
    static int traced(unsigned type, void* context, void* statement, void* sql)
    {
        auto* self = static_cast<StoreTrace*>(context);
        if (type == SQLITE_TRACE_STMT && QByteArrayView(static_cast<const char*>(sql)).startsWith(self->m_kind) &&
            ++self->m_count == self->m_markAt)
            self->m_mark.start();
        auto* row = static_cast<sqlite3_stmt*>(statement);
        self->m_rows += type == SQLITE_TRACE_ROW ? 1 : 0;
        for (int column = 0; type == SQLITE_TRACE_ROW && column < sqlite3_column_count(row); ++column)
            self->m_rowBytes += sqlite3_column_bytes(row, column);
        return 0;
    }

    QString sentPath() const { return m_folder.filePath("sent"); }

    // The lengths of the rows the server sent: a line of libpq's trace for each message, "B", its length and its kind
    // apart by tabs.
    qint64 sentRowBytes() const
    {
        std::fflush(m_sent);
        QFile sent(sentPath());
        qint64 bytes = 0;
        for (bool open = sent.open(QIODevice::ReadOnly); open && !sent.atEnd();) {
            const QByteArrayList fields = sent.readLine().split('\t');
            if (fields.size() > 2 && fields.at(0) == "B" && fields.at(2) == "DataRow")
                bytes += fields.at(1).toLongLong();
        }
        return bytes;
    }

    QByteArray m_kind;
    int m_count = 0;
    int m_rows = 0;
    qint64 m_rowBytes = 0;
    int m_markAt;
    QElapsedTimer m_mark;
    sqlite3* m_handle = nullptr;
    QTemporaryDir m_folder;
    std::FILE* m_sent = nullptr;
    PGconn* m_server = nullptr;
};

} // namespace

// libpq's call as the store in the test's process finds it, standing before the library's own.
extern "C" int PQsetSingleRowMode(PGconn* connection)
{
    if (refuseRowsOneAtATime.exchange(false))
        return 0;
    static const auto library = reinterpret_cast<int (*)(PGconn*)>(dlsym(RTLD_NEXT, "PQsetSingleRowMode"));
    return library(connection);
}

Q_DECLARE_METATYPE(Writer)

class TestSyncMerge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("quillbay.service.turns.debug=true");
        defaultHandler = qInstallMessageHandler(watchLog);
#if !defined(__SANITIZE_ADDRESS__)
        // As the service's main() does: a large buffer goes back to the system as it is freed.
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
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
        AccountStore account;
        ServiceStore& store = account.store;
        QVERIFY(account.open());
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

        QCOMPARE(merged(store, upload("2")), SyncMerge::Outcome::Merged);
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, 1);
    }

    // A merge of the cheap line whose reading would pass the bound, by the records changed since the device's last
    // sync or by the stored records its upload names, finds that from the sizes the store keeps: it goes to the
    // expensive line having read no more than the bound, whatever makes the records large (their values, their ids,
    // a rewriting) and however the reading is shared between the changed records and the upload's pages of lookups,
    // each bounded by what those before it left. So does one of records that an earlier version stored without their
    // sizes, which the store counts when it opens. What the changed records take counts against the bound with what
    // the merge writes. A record answered counts what its row takes in the device's columns where that is more, and
    // the reading stops once those rows pass the bound.
    void boundedMergeReadsNoMoreThanItsBound_data()
    {
        QTest::addColumn<QByteArrayList>("stored");
        QTest::addColumn<bool>("storedBefore");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("placed");
        // Whether a process of an earlier version writes ten records of 300 KB beside this one once the store is open.
        QTest::addColumn<bool>("earlierWrites");
        // On SQLite, the most rows the store hands over, which shows where the reading stopped; 0 for no count.
        QTest::addColumn<int>("rowsRead");
        const QByteArray large = largeBills(10, 0, 300000);
        QTest::newRow("a sync the store cannot place")
            << QByteArrayList{large} << false << upload(QByteArrayList()) << false << false << 0;
        QTest::newRow("a placed sync naming the large records")
            << QByteArrayList{large} << false << largeBills(10, 0, 1) << true << false << 0;
        QTest::newRow("a sync the store cannot place, of records stored before")
            << QByteArrayList() << true << upload(QByteArrayList()) << false << false << 0;
        // 1.1 MB, of which the values are 590 KB.
        QTest::newRow("a sync the store cannot place, of 1,900 records with ids of 255 bytes and small values")
            << QByteArrayList{largeBills(1900, 255, 300)} << false << upload(QByteArrayList()) << false << false << 0;
        QTest::newRow("a sync the store cannot place, of records stored small and rewritten large")
            << QByteArrayList{largeBills(10, 0, 1), largeBills(10, 0, 300000, "2024-05-01 11:00:00")} << false
            << upload(QByteArrayList()) << false << false << 0;
        QTest::newRow("a placed sync naming 1,000 stored records of 1.5 KB, two pages of 750 KB")
            << QByteArrayList{largeBills(1000, 0, 1500)} << false << largeBills(1000, 0, 1) << true << false << 0;
        QTest::newRow("a sync the store cannot place, naming the 600 KB of records changed since")
            << QByteArrayList{largeBills(2, 0, 300000)} << false << largeBills(2, 0, 1) << false << false << 0;
        QTest::newRow("a first sync of three records of 300 KB, uploading one of 200 KB")
            << QByteArrayList{largeBills(3, 0, 300000)} << false
            << upload(QByteArrayList{R"(["new",")" + QByteArray(200000, 't') + R"(","2024-05-01 10:00:00"])"}) << false
            << false << 0;
        QTest::newRow("a sync the store cannot place, of records an earlier version wrote beside this one")
            << QByteArrayList() << false << upload(QByteArrayList()) << false << true << 0;
        QTest::newRow("a sync the store cannot place, of small records an earlier version rewrote large")
            << QByteArrayList{largeBills(10, 0, 1)} << false << upload(QByteArrayList()) << false << true << 0;
        // Answered in the device's 64 columns, 61 of them texts the records lack: 533 bytes a record where the records
        // take 292 on the wire, 1999 of them 1.07 MB, where they would take 584 KB.
        QTest::newRow("a placed sync naming 1,999 stored records with ids of 255 bytes, answered in 64 columns")
            << QByteArrayList{largeBills(1999, 255, 1, "2024-05-01 11:00:00")} << false
            << largeBills(1999, 255, 1, "2024-05-01 10:00:00", 61) << true << false << 0;
        // 1,200 records of 700 bytes, 820 KB, that take 935 bytes each in 64 columns: the answer passes 1 MB at the
        // 1,122nd, where the reading stops.
        QTest::newRow("a sync the store cannot place, of 1,200 records of 700 bytes, answered in 64 columns")
            << QByteArrayList{largeBills(1200, 0, 650)} << false << upload(QByteArrayList(), 61) << false << false
            << 1150;
    }

    void boundedMergeReadsNoMoreThanItsBound()
    {
        QFETCH(QByteArrayList, stored);
        QFETCH(bool, storedBefore);
        QFETCH(QByteArray, sent);
        QFETCH(bool, placed);
        QFETCH(bool, earlierWrites);
        QFETCH(int, rowsRead);
        AccountStore account;
        ServiceStore& store = account.store;
        if (storedBefore)
            QVERIFY(storeAsBefore(account.at, QByteArray(300000, 't')));
        QVERIFY(account.open());
        for (const QByteArray& earlier : stored)
            QCOMPARE(merged(store, earlier), SyncMerge::Outcome::Merged);
        if (earlierWrites)
            QVERIFY(writeAsEarlierVersion(account.at, largeRecords(300000)));

        ChangeSet next;
        QVERIFY(next.read(sent, [] { return false; }));
        const StoreTrace read;
        QVERIFY(read.watching());
        AnswerText answer;
        const QString lastSync = placed ? "2024-05-01 12:00:00" : "2008-08-08 08:08:08";
        QCOMPARE(SyncMerge(
                     store, "1234567800", [] { return false; }, true)
                     .merge(next, deviceClock(lastSync), answer),
                 SyncMerge::Outcome::Expensive);
        QVERIFY2(read.rowBytes() <= SyncCost::cheapBytes, qPrintable(QString("%1 bytes read").arg(read.rowBytes())));
        if (rowsRead > 0 && !TestStore::onPostgreSql())
            QVERIFY2(read.rows() <= rowsRead, qPrintable(QString("%1 rows read").arg(read.rows())));
    }

    // The size the store keeps beside a record is what the record takes on the wire as the service counts it, whoever
    // wrote it: this version, whose rewrite of a record to the same size SQLite's trigger counts again; an earlier
    // version whose statement names no size, for which the store counts it itself; or the service of the version
    // before the store's triggers, whose own count this version's upgrade counts again: wrong where that version's
    // upgrade left out the escapes of an id or a stamp, and right where its service wrote an id holding U+0000, which
    // versions before its refusal stored on SQLite. Ids and stamps of each character with an escape, and of
    // characters beyond, count with their escapes, in a PostgreSQL database in SQL_ASCII as in one in UTF8. Each
    // record is served back with the id and stamp it was stored with, U+0000 and what follows it in an id included.
    void keepsEachRecordsSizeAsItGoesOnTheWire_data()
    {
        QTest::addColumn<Writer>("writer");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<bool>("zeroes");
        for (const QString& encoding : {QString(), QString("SQL_ASCII")}) {
            const QString in = encoding.isEmpty() ? QString() : " in " + encoding;
            QTest::newRow(qPrintable("written by this version" + in)) << Writer::ThisVersion << encoding << false;
            QTest::newRow(qPrintable("written by an earlier version" + in))
                << Writer::EarlierProcess << encoding << false;
            QTest::newRow(qPrintable("counted by the service before the triggers" + in))
                << Writer::ServiceBeforeTriggers << encoding << false;
        }
        QTest::newRow("counted by the triggers of an earlier version") << Writer::EarlierTriggers << QString() << false;
        QTest::newRow("ids with U+0000 written by an earlier version") << Writer::EarlierProcess << QString() << true;
        QTest::newRow("ids with U+0000 counted by the triggers of an earlier version")
            << Writer::EarlierTriggers << QString() << true;
        QTest::newRow("ids with U+0000 counted by the service before the triggers")
            << Writer::ServiceBeforeTriggers << QString() << true;
    }

    void keepsEachRecordsSizeAsItGoesOnTheWire()
    {
        QFETCH(Writer, writer);
        QFETCH(QString, encoding);
        QFETCH(bool, zeroes);
        if (!encoding.isEmpty() && !TestStore::onPostgreSql())
            QSKIP("an SQLite store keeps its texts in UTF-8");
        if (zeroes && TestStore::onPostgreSql())
            QSKIP("PostgreSQL keeps no text holding U+0000");
        AccountStore account(encoding);
        RecordBatch records;
        RecordBatch rewritten;
        QByteArrayList texts{"\"\\\"", "中文", "😀", QByteArray(200, '"'), "a\u2028b"};
        for (char32_t c = 1; c < 0xA1; ++c)
            texts << QString::fromUcs4(&c, 1).toUtf8();
        // Those come after as many plain records as the upgrade counts again at once, in the order of their rows and
        // of their ids.
        for (int i = 0; i < 2000; ++i) {
            const QByteArray id = "a" + QByteArray::number(i);
            records.append(StoredRecord{id, "v", false, "{}"});
            rewritten.append(StoredRecord{id, "w", false, "{}"});
        }
        const QByteArray idStart = zeroes ? QByteArray("id\0", 3) : QByteArray("id");
        for (const QByteArray& text : texts) {
            const QByteArray id = idStart + text + QByteArray::number(records.size());
            records.append(StoredRecord{id, "v" + text, false, R"({"title":"t"})"});
            rewritten.append(StoredRecord{id, "w" + text, false, R"({"title":"t"})"});
        }

        if (writer == Writer::ServiceBeforeTriggers)
            QVERIFY(storeAsCountedBefore(account.at, records, !zeroes));
        if (writer == Writer::EarlierTriggers)
            QVERIFY(storeAsTriggeredBefore(account.at, records));
        QVERIFY(account.open());
        if (writer == Writer::EarlierProcess)
            QVERIFY(writeAsEarlierVersion(account.at, records));
        if (writer == Writer::ThisVersion)
            QVERIFY(account.store.saveRecords("1234567800", "bill", records, 1, [] { return false; }) &&
                    account.store.saveRecords("1234567800", "bill", rewritten, 2, [] { return false; }));
        const RecordBatch& kept = writer == Writer::ThisVersion ? rewritten : records;
        const QHash<QByteArray, QVariant> sizes = keptSizes(account.at);
        QCOMPARE(sizes.size(), kept.size());
        for (qsizetype i = 0; i < kept.size(); ++i)
            QVERIFY2(sizes.value(kept.at(i).id.toByteArray()).toLongLong() == kept.at(i).wireSize(),
                     qPrintable(QString("%1: kept %2, takes %3")
                                    .arg(QString::fromUtf8(kept.at(i).id.toByteArray().toPercentEncoding()),
                                         sizes.value(kept.at(i).id.toByteArray()).toString(),
                                         QString::number(kept.at(i).wireSize()))));
        // A first sync reads the records of the changes logged: one numbered past the records' own stands for the
        // sync that wrote them, which the test did not log.
        QVERIFY(account.store.logChange("1234567800", 3, QDateTime::currentMSecsSinceEpoch(), "2024-05-01 11:00:00"));
        const QHash<QString, QString> served = servedBills(account.store);
        QCOMPARE(served.size(), kept.size());
        for (qsizetype i = 0; i < kept.size(); ++i) {
            const QString id = QString::fromUtf8(kept.at(i).id);
            QVERIFY2(served.value(id) == QString::fromUtf8(kept.at(i).version),
                     qPrintable(QString::fromUtf8(id.toUtf8().toPercentEncoding()) + " served as " +
                                QString::fromUtf8(served.value(id).toUtf8().toPercentEncoding())));
        }
    }

    // An upload older than what the store holds never takes its place, whatever order the database sorts texts in: a
    // device's rows stamped May of ids another device wrote or deleted in June leave them as they were, and so do
    // its deletions. The store looks up a page's ids by whether any lies between its lowest and its highest, where
    // 100 ids or more are looked up at once, 500 a page: ids ordered apart by bytes and by the database's language
    // (ICU's English, Chinese and root rules) are found in every page, for a first sync and a placed one, in a store
    // made so and in one that the version before the store's texts compared as bytes made, written by that version
    // and upgraded at its next start.
    void keepsNewerRecordsWhateverTheDatabaseSorts_data()
    {
        QTest::addColumn<QString>("icuLocale");
        QTest::addColumn<int>("ids");
        QTest::addColumn<bool>("placed");
        QTest::addColumn<bool>("madeBefore");
        const auto row = [](const char* name, const QString& icuLocale, int ids, bool placed, bool madeBefore) {
            QTest::newRow(name) << icuLocale << ids << placed << madeBefore;
        };
        row("the cluster's collation, 1,200 ids", QString(), 1200, false, false);
        row("English, 40 ids, below the range check", "en", 40, false, false);
        row("English, 150 ids, a first sync", "en", 150, false, false);
        row("English, 150 ids, a placed sync", "en", 150, true, false);
        row("English, 1,200 ids over three pages, a first sync", "en", 1200, false, false);
        row("English, 1,200 ids over three pages, a placed sync", "en", 1200, true, false);
        row("Chinese, 600 ids over two pages", "zh", 600, true, false);
        row("the root collation, 150 ids", "und", 150, false, false);
        row("English, 150 ids, in a store made before", "en", 150, true, true);
        row("English, 1,200 ids, in a store made before", "en", 1200, false, true);
    }

    void keepsNewerRecordsWhateverTheDatabaseSorts()
    {
        QFETCH(QString, icuLocale);
        QFETCH(int, ids);
        QFETCH(bool, placed);
        QFETCH(bool, madeBefore);
        if (!icuLocale.isEmpty() && !TestStore::onPostgreSql())
            QSKIP("an SQLite store compares its texts as bytes");
        AccountStore account(QString(), icuLocale);
        QVERIFY(!account.at.address().isEmpty());
        const QList<QByteArray> named = IdsOrderedApart::first(ids);
        // Two in three of the ids a row, the others deleted, in June; then rows in May where June deleted, and
        // deletions in May where June wrote rows.
        const auto live = [](int i) { return i % 3 != 0; };
        const QByteArray june = rowsAndDeletions(named, live, "june", "2024-06-01 10:00:00");
        const QByteArray may = rowsAndDeletions(
            named, [&live](int i) { return !live(i); }, "may", "2024-05-01 10:00:00");
        if (madeBefore) {
            QVERIFY(storeAsComparedInTheDatabasesCollation(account.at));
            RecordBatch records;
            for (int i = 0; i < ids; ++i)
                records.append(
                    StoredRecord{named.at(i), "2024-06-01 10:00:00", !live(i), live(i) ? R"({"title":"june"})" : "{}"});
            QVERIFY(writeAsEarlierVersion(account.at, records));
            QVERIFY(account.open());
        } else {
            QVERIFY(account.open());
            QCOMPARE(merged(account.store, june), SyncMerge::Outcome::Merged);
        }
        QCOMPARE(merged(account.store, may, placed ? "2024-05-01 12:00:00" : "2008-08-08 08:08:08"),
                 SyncMerge::Outcome::Merged);

        const QHash<QByteArray, QVariant> kept = keptRecords(account.at);
        QCOMPARE(kept.size(), ids);
        QStringList wrong;
        for (int i = 0; i < ids; ++i) {
            const QString expected = (live(i) ? R"({"title":"june"})" : "deleted") + QString(" 2024-06-01 10:00:00");
            if (kept.value(named.at(i)).toString() != expected)
                wrong << QString::fromUtf8(named.at(i)) + ": " + kept.value(named.at(i)).toString();
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(QString("%1 of %2 records wrong, first: %3")
                                                 .arg(wrong.size())
                                                 .arg(ids)
                                                 .arg(wrong.mid(0, 3).join("; "))));
    }

    // A merge waits for the store's writing while the writers before it, of other accounts or other processes, each
    // let go within half a second: a crowd of syncs written one after another is not told the service is busy,
    // however long it takes in all. It looks for the lock every few milliseconds, so that it is written soon after
    // the last one's commit: the tries it makes while the writers hold the store, one each 10 ms at the least even on
    // a loaded machine, tell that apart from a wait that looked every 100 ms, whatever the machine's pace. A writer
    // that holds the store past half a second has the merge told so, with nothing written.
    void waitsWhileTheWritersBeforeItLetGo_data()
    {
        QTest::addColumn<int>("writers");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<SyncMerge::Outcome>("outcome");
        QTest::newRow("six writers of 150 ms") << 6 << 150 << SyncMerge::Outcome::Merged;
        QTest::newRow("one writer of 150 ms") << 1 << 150 << SyncMerge::Outcome::Merged;
        QTest::newRow("one writer of 1.5 s") << 1 << 1500 << SyncMerge::Outcome::Busy;
    }

    void waitsWhileTheWritersBeforeItLetGo()
    {
        QFETCH(int, writers);
        QFETCH(int, holdMs);
        QFETCH(SyncMerge::Outcome, outcome);
        if (TestStore::onPostgreSql())
            QSKIP("the other writers are SQLite's");
        AccountStore account;
        ServiceStore& store = account.store;
        QVERIFY(account.open());
        ChangeSet upload;
        QVERIFY(upload.read(bills(10, "2024-05-01 10:00:00"), [] { return false; }));
        AnswerText answer;
        // Once the merge is worked out, it asks whether its device has gone at each try for the lock, and a few times
        // besides as it writes.
        workedOut = false;
        int tries = 0;
        const auto counted = [&tries] {
            tries += workedOut ? 1 : 0;
            return false;
        };
        {
            const WriterChain others(account.at.address(), writers, std::chrono::milliseconds(holdMs));
            QCOMPARE(SyncMerge(store, "1234567800", counted).merge(upload, deviceClock(), answer), outcome);
        }
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, outcome == SyncMerge::Outcome::Merged ? 1 : 0);
        const qint64 heldMs =
            outcome == SyncMerge::Outcome::Busy ? ServiceStore::accountWait.count() : qint64(writers) * holdMs;
        QVERIFY2(tries >= heldMs / 10,
                 qPrintable(QString("%1 tries while others held the store for %2 ms").arg(tries).arg(heldMs)));
    }

    // A wait for the store's writing ends at its bound in all, however quickly each writer before it lets go: behind
    // a crowd of writers one after another that outlasts it, the statement gives up, busy, at the bound (the
    // connection's own wait of 30 s in the service, 300 ms here), not once the crowd is gone 1.5 s on.
    void writeLockWaitEndsAtItsBound()
    {
        if (TestStore::onPostgreSql())
            QSKIP("the wait is SQLite's");
        AccountStore account;
        QVERIFY(account.open());
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(account.sqlitePath().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
                 SQLITE_OK);
        const std::chrono::milliseconds bound(300);
        int began = SQLITE_OK;
        qint64 waitedMs = 0;
        {
            const WriterChain others(account.at.address(), 10, std::chrono::milliseconds(150));
            QElapsedTimer waited;
            waited.start();
            {
                const WriteLockWait wait(
                    db, ServiceStore::accountWait, [] { return false; }, bound);
                began = sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr);
            }
            waitedMs = waited.elapsed();
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
        // Between two writers the wait may find the store free and take it: before the bound, never after it.
        QVERIFY2(waitedMs < 2 * bound.count() && (began == SQLITE_OK || waitedMs >= bound.count()),
                 qPrintable(
                     QString("%1 after %2 ms").arg(began == SQLITE_BUSY ? "gave up" : "took the lock").arg(waitedMs)));
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

    // A reading that the store breaks off part-way fails the merge, whose answer is never a part of the account told
    // as the whole of it, nor an upload merged with a part of its lookup taken for all the records it names. The
    // account holds 1,200 bills, which a first sync reads in two pages and a sync that sends them all again, older,
    // looks up in three. The store breaks the reading off at one bill's row, in the first page of the account's or its
    // second, or in a lookup's first page: SQLite is interrupted there, and a relay cuts the connection to PostgreSQL
    // in the midst of that row, which the server sends whole. libpq may also refuse to read a statement's rows one at
    // a time, which would hand them over as one result, here a lookup's. Nothing is written, and the store serves the
    // next sync, on PostgreSQL on a new connection.
    void brokenReadingFailsTheMerge_data()
    {
        QTest::addColumn<QByteArray>("brokenAt");
        QTest::addColumn<bool>("lookup");
        QTest::newRow("in the first page") << QByteArray("100500") << false;
        QTest::newRow("in the second page") << QByteArray("101100") << false;
        QTest::newRow("in a lookup's page") << QByteArray("100250") << true;
        QTest::newRow("in a lookup read as one result") << QByteArray() << true;
    }

    void brokenReadingFailsTheMerge()
    {
        QFETCH(QByteArray, brokenAt);
        QFETCH(bool, lookup);
        if (brokenAt.isEmpty() && !TestStore::onPostgreSql())
            QSKIP("SQLite hands every reading's rows over one at a time");
        AccountStore account;
        std::optional<StoreRelay> relay;
        if (TestStore::onPostgreSql())
            relay.emplace(account.at.address());
        QVERIFY(account.open(relay ? relay->address() : QString()));
        QCOMPARE(merged(account.store, bills(1200, "2024-05-01 10:00:00")), SyncMerge::Outcome::Merged);

        std::optional<RowBreak> interrupted;
        if (relay && !brokenAt.isEmpty())
            relay->arm(StoreRelay::Toward::Client, brokenAt, StoreRelay::Fault::Cut);
        else if (!relay)
            interrupted.emplace(brokenAt);
        // libpq refuses once the merge has read what changed since the device's last sync: at its lookups' first
        // statement.
        bool refused = false;
        const auto readChanges = [&refused, &brokenAt] {
            if (brokenAt.isEmpty() && !std::exchange(refused, true))
                refuseRowsOneAtATime = true;
            return false;
        };
        ChangeSet sent;
        QVERIFY(
            sent.read(lookup ? bills(1200, "2024-04-01 10:00:00") : upload(QByteArrayList()), [] { return false; }));
        AnswerText answer;
        const QString lastSync = lookup ? "2024-05-01 12:00:00" : "2008-08-08 08:08:08";
        QCOMPARE(SyncMerge(account.store, "1234567800", readChanges).merge(sent, deviceClock(lastSync), answer),
                 SyncMerge::Outcome::Failed);
        QVERIFY(interrupted ? interrupted->broken() : relay->struck() || (refused && !refuseRowsOneAtATime));
        interrupted.reset();

        QVERIFY(account.store.ready());
        qint64 change = 0;
        QVERIFY(account.store.lastChange("1234567800", change));
        QCOMPARE(change, 1);
    }

    // A merge whose device goes while the store looks up or writes a page of its records does no further page, and
    // one whose device goes after its last page of writing, before its commit, is not committed: the store holds
    // the account as before. The account holds 1,200 bills that the device sends anew, three pages of lookups and
    // twelve of writing. One whose device goes while it waits for the store's writing stops waiting, behind writers
    // one after another that each let go within the half second a sync waits for one, and that a wait that went on
    // would wait through for 1.6 s. Each ends at once, well before the half second a sync may wait for its account.
    void mergeStopsAtThePageWhereItsDeviceWent_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("goneAt");
        QTest::addColumn<bool>("held");
        const QByteArray lookup = "select id, version, deleted, case when wire_size";
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
        if (TestStore::onPostgreSql())
            QSKIP("the store's trace and its other writers are SQLite's");
        AccountStore account;
        ServiceStore& store = account.store;
        QVERIFY(account.open());
        const DeviceClock clock = deviceClock();
        QCOMPARE(merged(store, bills(1200, "2024-05-01 10:00:00")), SyncMerge::Outcome::Merged);

        ChangeSet next;
        QVERIFY(next.read(bills(1200, "2024-05-02 10:00:00"), [] { return false; }));
        const StoreTrace device(kind, goneAt);
        QVERIFY(device.watching());
        std::optional<WriterChain> writers;
        if (held)
            writers.emplace(account.at.address(), 8, std::chrono::milliseconds(200));
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

    // A statement the server no longer knows by the name the connection prepared it under (a reset, or a pooler that
    // handed the connection another session) is prepared again and the merge goes on: run before its transaction, the
    // statement is run again at once; in the transaction, which the server then aborts, the merge is worked out and
    // written again, once. The test has the server forget the connection's statements before the merge, or once the
    // merge is worked out, before it begins its transaction: all of them, which the transaction's beginning meets
    // first, or the writes alone, which the merge first runs in its transaction.
    void preparesAgainWhatTheServerForgot_data()
    {
        QTest::addColumn<bool>("workedOut");
        QTest::addColumn<bool>("writesAlone");
        QTest::newRow("every statement, between merges") << false << false;
        QTest::newRow("every statement, once the merge is worked out") << true << false;
        QTest::newRow("the writes, once the merge is worked out") << true << true;
    }

    void preparesAgainWhatTheServerForgot()
    {
        QFETCH(bool, workedOut);
        QFETCH(bool, writesAlone);
        if (!TestStore::onPostgreSql())
            QSKIP("SQLite prepares its statements again itself");
        AccountStore account;
        ServiceStore& store = account.store;
        QVERIFY(account.open());
        QCOMPARE(merged(store, bills(10, "2024-05-01 10:00:00")), SyncMerge::Outcome::Merged);

        // The merge is worked out again once the server has forgotten the statements in its transaction.
        int workings = 0;
        const auto mayHold = [workedOut, writesAlone, &workings] {
            return ++workings > 1 || !workedOut || forgetOnStoreConnection(writesAlone);
        };
        if (!workedOut)
            QVERIFY(forgetOnStoreConnection(writesAlone));
        ChangeSet next;
        QVERIFY(next.read(bills(10, "2024-05-02 10:00:00"), [] { return false; }));
        AnswerText answer;
        QCOMPARE(SyncMerge(
                     store, "1234567800", [] { return false; }, false, mayHold)
                     .merge(next, deviceClock(), answer),
                 SyncMerge::Outcome::Merged);
        QCOMPARE(workings, workedOut && writesAlone ? 2 : 1);
        qint64 change = 0;
        QVERIFY(store.lastChange("1234567800", change));
        QCOMPARE(change, 2);
        QCOMPARE(onOwnConnection(account.at,
                                 [](QSqlDatabase& db) {
                                     QSqlQuery query(db);
                                     return query.exec("select count(*) from records where version = "
                                                       "'2024-05-02 10:00:00'") &&
                                                    query.next()
                                                ? query.value(0).toInt()
                                                : -1;
                                 }),
                 10);
    }

    // A worker's connection, which does not look at the pooler as the start does, behind a pooler in transaction mode
    // that the address does not name, finds each statement it prepared unknown on the server connection its next
    // statement is handed (in turn, as in a busy pool): its reading fails, as it would run no statement under another's
    // name, and the operator is told once, however often it fails, what to set.
    void tellsOfAPoolerThatSharesSessions()
    {
        if (!TestStore::onPostgreSql())
            QSKIP("a pooler stands in front of a PostgreSQL store alone");
        if (const QString missing = TestPooler::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        AccountStore account;
        QVERIFY(account.open());
        TestPooler pooler("transaction", {"server_round_robin = 1"});
        QVERIFY2(pooler.running(), pooler.log().constData());
        const QString address = pooler.address(account.at.address());
        QVERIFY(pooler.openServerConnections(address, 3));
        ServiceStore worker;
        QVERIFY(worker.open(address, false));
        toldOfSharedSessions = 0;
        std::optional<StoredAccount> found;
        for (int i = 0; i < 3; ++i)
            QVERIFY(!worker.account("owner", found));
        QCOMPARE(toldOfSharedSessions, 1);
    }

    // What a store connection keeps between syncs holds none of their values: after uploads of 2 MB in records of
    // 100 KB, then 90, 80, 70, 60 and 50, written in statements of as many records as 1 MB holds, each upload's of a
    // count of its own, the memory the process holds is what it held after the first, but for the statements kept
    // compiled, some 0.1 MB each, 16 at most. Statements that kept their values would hold 2 MB more with each.
    void keepsNoValuesOfItsSyncs()
    {
        AccountStore account;
        QVERIFY(account.open());
        qint64 first = 0;
        QStringList held;
        for (int kb = 100; kb >= 50; kb -= 10) {
            const QByteArray title(kb * 1000, 't');
            QByteArrayList rows;
            for (int i = 0; i < 2000 / kb; ++i)
                rows << "[\"" + QByteArray::number(kb) + "-" + QByteArray::number(i) + "\",\"" + title +
                            "\",\"2024-05-01 10:00:00\"]";
            {
                ChangeSet changes;
                QVERIFY(changes.read(upload(rows), [] { return false; }));
                rows.clear();
                AnswerText answer;
                QCOMPARE(
                    SyncMerge(account.store, "1234567800", [] { return false; }).merge(changes, deviceClock(), answer),
                    SyncMerge::Outcome::Merged);
            }
            const qint64 now = allocatedBytes();
            first = first > 0 ? first : now;
            held << QString::number(double(now - first) / (1 << 20), 'f', 1);
        }
        QVERIFY2(allocatedBytes() - first < 4 * (1 << 20),
                 qPrintable("MB held beyond what it held after the first: " + held.join(", ")));
    }

    // What a store connection keeps between syncs holds nothing of what they read: after syncs that look up stored
    // records of 5 MB, 500 KB and 5 KB, each size in every count from 1 to 6 (the stored one answered, as it is
    // newer), and then after first syncs that read the whole account, the process holds no more than it held before
    // them but for what the connection keeps, as the README's table says: its statements compiled, SQLite's page
    // cache of 2 MB, and libpq's buffers of about 1 MB, a connection that moved a larger record, looked up or read
    // whole, being opened anew. A statement that kept its last row, as the driver's kept it converted to UTF-16,
    // would hold 10 MB for each count, and libpq's buffer alone 5 MB. A connection opened anew prepares its statements
    // anew: the server is never found to have forgotten one.
    void keepsNothingOfWhatItsSyncsRead()
    {
        AccountStore account;
        QVERIFY(account.open());
        const QList<int> sizes{5000000, 500000, 5000};
        const auto rows = [](int size, int count, const QByteArray& title, const QByteArray& version) {
            QByteArrayList made;
            for (int i = 0; i < count; ++i)
                made << "[\"" + QByteArray::number(size) + "-" + QByteArray::number(i) + "\",\"" + title + "\",\"" +
                            version + "\"]";
            return made;
        };
        const auto mergedAt = [&account](const QByteArrayList& bills, const QString& lastSync) {
            return merged(account.store, upload(bills), lastSync) == SyncMerge::Outcome::Merged;
        };
        QByteArrayList stored;
        for (const int size : sizes)
            stored += rows(size, 6, QByteArray(size, 't'), "2024-05-01 11:00:00");
        QVERIFY(mergedAt(stored, "2008-08-08 08:08:08"));
        stored.clear();
        const qint64 before = allocatedBytes();
        QStringList held;
        qint64 most = 0;
        const auto hold = [&held, &most, before] {
            const qint64 now = allocatedBytes() - before;
            most = qMax(most, now);
            held << QString::number(double(now) / (1 << 20), 'f', 1);
        };
        for (const int size : sizes) {
            for (int count = 1; count <= 6; ++count)
                QVERIFY(mergedAt(rows(size, count, "t", "2024-05-01 10:00:00"), "2024-05-01 12:00:00"));
            hold();
        }
        for (int first = 0; first < 2; ++first) {
            QVERIFY(mergedAt({}, "2008-08-08 08:08:08"));
            hold();
        }
        QVERIFY2(most < 4 * (1 << 20),
                 qPrintable("MB held beyond what it held before the lookups, after each size's and each first sync: " +
                            held.join(", ")));
        QCOMPARE(account.store.forgottenStatements(), 0);
    }

    // A sync that names stored records reads no more of them than its merge needs: ten stored records of 6 MB, their
    // titles of quotes and backslashes, named by
    // a sync the store places that sends each again with a title of 10 bytes and a newer stamp, or a deletion, take the
    // process's resident memory no more than 4 MB above where it stood, where the sync's upload and its answer take a
    // few KB; read whole, as they were, they took 60 MB and more. Rows that win keep the column of the stored records
    // they lack ("c0", when the records have it), of whose values alone it is read, as the next first sync's answer
    // shows, in a PostgreSQL database in SQL_ASCII as in one in UTF8.
    void readsNoMoreOfTheRecordsItNamesThanItsMergeNeeds_data()
    {
        QTest::addColumn<QByteArray>("otherColumn");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answered");
        const QByteArray row = R"([ "large9", "tttttttttt", "2024-05-01 11:00:00")";
        const QByteArray kept = QString::fromUtf16(u"留下").toUtf8();
        QTest::newRow("rows in every column the records have")
            << QByteArray() << QString() << largeBills(10, 0, 10, "2024-05-01 11:00:00") << row + " ]";
        QTest::newRow("rows lacking a column the records have")
            << kept << QString() << largeBills(10, 0, 10, "2024-05-01 11:00:00") << row + ", \"" + kept + "\" ]";
        QTest::newRow("rows lacking a column the records have, in SQL_ASCII")
            << kept << QString("SQL_ASCII") << largeBills(10, 0, 10, "2024-05-01 11:00:00")
            << row + ", \"" + kept + "\" ]";
        QByteArray deletions = upload(QByteArrayList());
        const QByteArray none = R"("delete_data":[])";
        QByteArrayList deleted;
        for (int i = 0; i < 10; ++i)
            deleted << "[\"large" + QByteArray::number(i) + "\",\"2024-05-01 11:00:00\"]";
        deletions.replace(deletions.indexOf(none), none.size(), R"("delete_data":[)" + deleted.join(',') + "]");
        QTest::newRow("deletions") << QByteArray() << QString() << deletions
                                   << QByteArray(R"([ "large9", "2024-05-01 11:00:00" ])");
    }

    void readsNoMoreOfTheRecordsItNamesThanItsMergeNeeds()
    {
        QFETCH(QByteArray, otherColumn);
        QFETCH(QString, encoding);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answered);
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer keeps what is freed aside, where the resident peak counts it");
#endif
        AccountStore account(encoding);
        QVERIFY(account.open());
        const int columns = otherColumn.isEmpty() ? 0 : 1;
        // Titles of quotes and backslashes, each escaped in two bytes, after one letter: a piece ends in the middle of
        // an escape. A character of three bytes follows.
        const QByteArray title = "a" + QByteArray("\\\"\\\\").repeated(3 << 19) + QString::fromUtf16(u"尾").toUtf8();
        QByteArrayList stored;
        for (int i = 0; i < 10; ++i)
            stored << "[\"large" + QByteArray::number(i) + "\",\"" + title + "\",\"2024-05-01 10:00:00\"]";
        QCOMPARE(merged(account.store, upload(stored, columns).replace(",\"\"]", ",\"" + otherColumn + "\"]")),
                 SyncMerge::Outcome::Merged);
        stored.clear();
        SyncMerge::Outcome outcome = SyncMerge::Outcome::Failed;
        const qint64 peak = residentPeakOf([&] { outcome = merged(account.store, sent, "2024-05-01 12:00:00"); });
        QCOMPARE(outcome, SyncMerge::Outcome::Merged);
        QVERIFY2(peak >= 0 && peak < 4 * (1 << 20), qPrintable(QString("%1 KB at the peak").arg(peak >> 10)));
        // Another device's first sync, in the columns the records were stored with.
        ChangeSet first;
        QVERIFY(first.read(upload(QByteArrayList(), columns), [] { return false; }));
        AnswerText answer;
        QCOMPARE(SyncMerge(account.store, "1234567800", [] { return false; }).merge(first, deviceClock(), answer),
                 SyncMerge::Outcome::Merged);
        QByteArray buffer;
        QByteArrayView text;
        QVERIFY(answer.read(0, answer.size(), buffer, text));
        QVERIFY2(text.contains(answered), text.first(qMin(text.size(), qsizetype(2000))).toByteArray().constData());
    }

    // A write statement takes records up to 1 MB of their values, one record at least, so that libpq's buffer, which
    // keeps the size of the largest statement sent, is no larger than the largest record: an upload of 2 MB in records
    // of 100 KB is written in statements of ten records, and one of a record of 3 MB in a statement of its own.
    void writesAtMostAMegabyteOfValuesAStatement_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("titleBytes");
        QTest::addColumn<int>("mostPerStatement");
        QTest::newRow("20 records of 100 KB") << 20 << 100000 << 10;
        QTest::newRow("a record of 3 MB between two of 10 bytes") << 3 << 3000000 << 1;
    }

    void writesAtMostAMegabyteOfValuesAStatement()
    {
        QFETCH(int, records);
        QFETCH(int, titleBytes);
        QFETCH(int, mostPerStatement);
        AccountStore account;
        QVERIFY(account.open());
        RecordBatch batch;
        for (int i = 0; i < records; ++i) {
            const QByteArray title(i == 1 || records > 3 ? titleBytes : 10, 't');
            batch.append(StoredRecord{"w" + QByteArray::number(i), "2024-05-01 10:00:00", false,
                                      R"({"title":")" + title + R"("})"});
        }
        QVERIFY(account.store.saveRecords("1234567800", "bill", batch, 1, [] { return false; }));
        // The records of each statement the connection keeps, by the groups of values it takes.
        int most = 0;
        QStringList counts;
        for (const QString& statement : storeStatements().filter(QRegularExpression("^insert into records"))) {
            const int count = int(statement.count("), (") + 1);
            most = qMax(most, count);
            counts << QString::number(count);
        }
        QVERIFY2(most == mostPerStatement, qPrintable("records in each write kept: " + counts.join(", ")));
    }

    // A connection keeps its prepared statements up to their bounds, 64 reads and 16 writes of records, however many
    // different ones it is asked for: each one past its bound lets go of the one used least lately, on PostgreSQL
    // deallocating it on the server, and one asked for all along stays prepared. The reads are lookups of each count
    // of ids from 1 to 100, the writes of each count of records from 1 to 24.
    void keepsItsStatementsWithinTheirBound_data()
    {
        QTest::addColumn<bool>("writes");
        QTest::newRow("reads") << false;
        QTest::newRow("writes") << true;
    }

    void keepsItsStatementsWithinTheirBound()
    {
        QFETCH(bool, writes);
        AccountStore account;
        ServiceStore& store = account.store;
        QVERIFY(account.open());
        const QByteArray kind = writes ? "insert into records" : "select";
        const int most = writes ? 16 : 64;
        for (int count = 1; count <= (writes ? 24 : 100); ++count) {
            RecordBatch records;
            QList<QByteArrayView> ids;
            const QList<QByteArray> names = [count] {
                QList<QByteArray> made;
                for (int i = 0; i < count; ++i)
                    made << "b" + QByteArray::number(i);
                return made;
            }();
            for (const QByteArray& name : names) {
                records.append(StoredRecord{name, "2024-05-01 10:00:00", false, R"({"title":"t"})"});
                ids << name;
            }
            bool whole = true;
            const auto page = [](qsizetype, qsizetype, const RecordBatch&) { return true; };
            QVERIFY(writes ? store.saveRecords("1234567800", "bill", records, 1, [] { return false; })
                           : store.records("1234567800", "bill", ids, std::nullopt, whole, page));
            qint64 change = 0;
            QVERIFY(store.lastChange("1234567800", change));
        }
        const QStringList kept = storeStatements();
        QVERIFY2(kept.filter(QRegularExpression("^" + kind)).size() == most &&
                     kept.contains("select max(seq) from syncs "
                                   "where user_id = ?"),
                 qPrintable(QString("%1 kept: %2").arg(kept.size()).arg(kept.join("; ").left(2000))));
    }

    // After a merge, each statement the connection keeps on SQLite holds no value bound to it: a record's texts lie in
    // the upload, which goes once the sync is answered, and a lookup's ids too.
    void keptStatementsHoldNoValues()
    {
        if (TestStore::onPostgreSql())
            QSKIP("PostgreSQL's statements kept on the server hold no values: each run sends its own");
        AccountStore account;
        QVERIFY(account.open());
        for (const QByteArray& sent : {largeBills(3, 0, 100), largeBills(200, 0, 100, "2024-05-02 10:00:00")})
            QCOMPARE(merged(account.store, sent), SyncMerge::Outcome::Merged);
        const QStringList names = QSqlDatabase::connectionNames();
        QCOMPARE(names.size(), 1);
        sqlite3* handle = SqliteHandle::of(QSqlDatabase::database(names.first(), false));
        QVERIFY(handle);
        int statements = 0;
        for (sqlite3_stmt* statement = sqlite3_next_stmt(handle, nullptr); statement;
             statement = sqlite3_next_stmt(handle, statement), ++statements) {
            char* expanded = sqlite3_expanded_sql(statement);
            const QString bound = QString::fromUtf8(expanded);
            sqlite3_free(expanded);
            QCOMPARE(bound, QString::fromUtf8(sqlite3_sql(statement)).replace('?', "NULL"));
        }
        QVERIFY(statements > 5);
    }
};

QTEST_GUILESS_MAIN(TestSyncMerge)
#include "tst_syncmerge.moc"
