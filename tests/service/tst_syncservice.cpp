#include "data/bookfile.h"
#include "idsorderedapart.h"
#include "online/httphelper.h"
#include "online/json.h"
#include "online/jsoncodec.h"
#include "rawhttp.h"
#include "readgate.h"
#include "serviceprocess.h"
#include "storehold.h"
#include "storerelay.h"
#include "testmount.h"
#include "testpooler.h"
#include "teststore.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QByteArray billColumns = "[\"id\",\"title\",\"version\"]";
// How soon a sync held off its account is told the service is busy: its half second's wait, and its sign-in and
// reading before it on a loaded machine.
const qint64 busyWithinMs = 1500;

QByteArray stamp(int second)
{
    return "2024-05-01 10:00:" + QByteArray::number(second).rightJustified(2, '0');
}

// An upload as the program writes it, with the bill table's rows, deletions and columns as the bytes given and no
// rows or deletions in the other tables.
QByteArray changeSet(const QByteArray& rows, const QByteArray& deletions = "", const QByteArray& columns = billColumns)
{
    QByteArrayList entries;
    for (const QString& table : tables) {
        const bool bill = table == "bill";
        entries << "{ \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ " + (bill ? deletions : "") +
                       " ], \"table_name\" : \"" + table.toUtf8() +
                       "\", \"update_columns\" : " + (bill ? columns : "[\"id\",\"name\",\"version\"]") +
                       ", \"update_data\" : [ " + (bill ? rows : "") + " ] }";
    }
    return "[ " + entries.join(", ") + " ]";
}

// "b 01, c 03" as bill rows of Z titled b and c, at 10:00:01 and 10:00:03; "- 02" as a deletion of Z at 10:00:02.
// Each title goes on with the text given, as JSON writes it.
QByteArray uploadOf(const QString& changes, const QByteArray& titleTail = {})
{
    QByteArrayList rows;
    QByteArrayList deletions;
    for (const QString& change : changes.split(',', Qt::SkipEmptyParts)) {
        const QByteArray title = change.trimmed().section(' ', 0, 0).toUtf8();
        const QByteArray version = stamp(change.trimmed().section(' ', 1).toInt());
        if (title == "-")
            deletions << "[\"Z\",\"" + version + "\"]";
        else
            rows << "[\"Z\",\"" + title + titleTail + "\",\"" + version + "\"]";
    }
    return changeSet(rows.join(','), deletions.join(','));
}

// A gate in the service's PostgreSQL store that holds every sign-up at the moment it is stored, after the store has
// counted it against its limits, until the gate opens: sign-ups from one address are then under way at once, however
// the machine's pace spreads them.
class SignupGate
{
public:
    explicit SignupGate(const QString& database)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", connection);
        db.setDatabaseName(database);
        db.open();
    }
    ~SignupGate() { QSqlDatabase::removeDatabase(connection); }
    SignupGate(const SignupGate&) = delete;
    SignupGate& operator=(const SignupGate&) = delete;

    // The connections clients made to the store after the gate's own: those of the service's workers, each opened on
    // its worker's first request. Told by when they began, not by a count taken before, which may hold a connection
    // closed just before it (the service's own at its start) whose server process, on a loaded machine, ends only
    // later; and clients only, not the server's own workers that clean the tables.
    int storeConnections() const
    {
        return count("select count(*) from pg_stat_activity where datname = current_database() and backend_type = "
                     "'client backend' and backend_start > (select backend_start from pg_stat_activity where pid = "
                     "pg_backend_pid())");
    }
    bool close() const
    {
        return exec("create function signup_gate() returns trigger language plpgsql as $$ begin "
                    "perform pg_advisory_lock_shared(1); perform pg_advisory_unlock_shared(1); return new; end $$") &&
               exec(
                   "create trigger signup_gate before insert on signups for each row execute function signup_gate()") &&
               exec("select pg_advisory_lock(1)");
    }
    // The sign-ups held at the gate.
    int waiting() const
    {
        return count("select count(*) from pg_locks where locktype = 'advisory' and objid = 1 and not granted");
    }
    bool open() const { return exec("select pg_advisory_unlock(1)"); }

private:
    static constexpr const char* connection = "signup-gate";

    static bool exec(const QString& statement)
    {
        return QSqlQuery(QSqlDatabase::database(connection, false)).exec(statement);
    }
    static int count(const QString& statement)
    {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        return query.exec(statement) && query.next() ? query.value(0).toInt() : -1;
    }
};

// The table of records as earlier versions made it: before the change log, before the records' sizes, and with
// sizes that the service wrote itself, 0 where a process of a still earlier version wrote.
const QStringList earlierRecordTables{
    "create table records (user_id text not null, table_name text not null, id text not null, version text not null, "
    "deleted integer not null, data text not null, primary key (user_id, table_name, id))",
    "create table records (user_id text not null, table_name text not null, id text not null, version text not null, "
    "deleted integer not null, data text not null, seq bigint not null default 0, primary key (user_id, table_name, "
    "id))",
    "create table records (user_id text not null, table_name text not null, id text not null, version text not null, "
    "deleted integer not null, seq bigint not null default 0, wire_size bigint not null default 0, data text not null, "
    "primary key (user_id, table_name, id))",
};

// Bills of as many ids ordered apart by bytes and by a language (IdsOrderedApart), as rows and deletions: a row titled
// "b" at stamp(`at`) of each but every `deleteEvery`th, which is a deletion there; and of each a row titled "older" at
// stamp(`olderAt`), in the notation of changeSet().
struct BillsOrderedApart
{
    BillsOrderedApart(int count, int deleteEvery, int at, int olderAt)
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray id = IdsOrderedApart::at(i);
            if (i % deleteEvery == 0)
                deletions << "[\"" + id + "\",\"" + stamp(at) + "\"]";
            else
                rows << "[\"" + id + "\",\"b\",\"" + stamp(at) + "\"]";
            older << "[\"" + id + "\",\"older\",\"" + stamp(olderAt) + "\"]";
        }
    }

    QByteArrayList rows;
    QByteArrayList deletions;
    QByteArrayList older;
};

// The store's tables as the version before its texts compared as bytes made them on PostgreSQL, in the database's
// collation, which is this version's shape but for that: each text column altered back, the triggers, which name
// columns of the records, made again as they were.
const char* const textsInTheDatabasesCollation =
    "do $$ declare made text := pg_get_triggerdef((select oid from pg_trigger where tgname = 'records_sized')); "
    "altered record; begin drop trigger records_sized on records; for altered in select attrelid::regclass as "
    "name, attname from pg_attribute where attrelid in ('records'::regclass, 'accounts'::regclass, 'syncs'::regclass, "
    "'feedback'::regclass, 'signups'::regclass) and atttypid = 'text'::regtype and attnum > 0 and not attisdropped "
    "loop execute format('alter table %s alter column %I type text collate \"default\"', altered.name, "
    "altered.attname); end loop; execute made; end $$";

// How a service of an earlier version wrote a bill of the account, a deletion for a null title, into a table with
// the change log's number or without: no version named a size.
QString earlierWrite(const QString& userId, const QByteArray& id, const QByteArray& title, const QByteArray& version,
                     bool changeLog = true)
{
    return QString(
               "insert into records (user_id, table_name, id, version, deleted, data%1) values ('%2', 'bill', '%3', "
               "'%4', %5, '%6'%7) on conflict (user_id, table_name, id) do update set version = excluded.version, "
               "deleted = excluded.deleted, data = excluded.data")
        .arg(changeLog ? ", seq" : "", userId, QString::fromUtf8(id), QString::fromUtf8(version),
             title.isNull() ? "1" : "0", title.isNull() ? "{}" : "{\"title\":\"" + QString::fromUtf8(title) + "\"}",
             changeLog ? ", 0" : "");
}

// A process of an earlier version writing to the service's PostgreSQL store on a connection of its own, in a thread
// of its own, with its statement prepared on the server, as the driver prepares it, once the object is made, before
// the table it names may be replaced: write() sends it, and the thread is joined as the object goes, whichever way
// the test ends.
class EarlierWriter
{
public:
    EarlierWriter(const QString& database, const QString& statement)
    {
        std::promise<bool> prepared;
        m_prepared = prepared.get_future();
        std::promise<bool> written;
        m_written = written.get_future();
        m_thread = std::thread([database, statement, prepared = std::move(prepared), written = std::move(written),
                                go = m_go.get_future()]() mutable {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "earlier-writer");
                db.setDatabaseName(database);
                QSqlQuery query(db);
                const bool ready = db.open() && query.prepare(statement);
                prepared.set_value(ready);
                written.set_value(go.get() && ready && query.exec());
            }
            QSqlDatabase::removeDatabase("earlier-writer");
        });
    }
    ~EarlierWriter()
    {
        if (!m_told)
            m_go.set_value(false);
        m_thread.join();
    }
    EarlierWriter(const EarlierWriter&) = delete;
    EarlierWriter& operator=(const EarlierWriter&) = delete;

    bool prepared() { return m_prepared.get(); }
    void write()
    {
        m_told = true;
        m_go.set_value(true);
    }
    // Waits for the statement to end: whether it wrote.
    bool written() { return m_written.get(); }

private:
    std::promise<bool> m_go;
    bool m_told = false;
    std::future<bool> m_prepared;
    std::future<bool> m_written;
    std::thread m_thread;
};

// A connection of another process to an SQLite store in write-ahead-log mode, open as long as the object lives,
// and idle but for its looks: SQLite removes the log as the last connection closes, only as the last.
class StoreWatch
{
public:
    explicit StoreWatch(const QString& path) : m_db(QSqlDatabase::addDatabase("QSQLITE", "store-watch"))
    {
        m_db.setDatabaseName(path);
        if (m_db.open())
            state();
    }
    ~StoreWatch()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase("store-watch");
    }
    StoreWatch(const StoreWatch&) = delete;
    StoreWatch& operator=(const StoreWatch&) = delete;

    // What an upgrade changes: the records, how many of them have a size, and the triggers that count them.
    QString state() const
    {
        const bool sized = m_db.record("records").contains("wire_size");
        QSqlQuery query(m_db);
        if (!query.exec(QString("select count(*), %1, (select count(*) from sqlite_schema where type = 'trigger') "
                                "from records")
                            .arg(sized ? "count(nullif(wire_size, 0))" : "0")) ||
            !query.next())
            return query.lastError().text();
        return QString("%1 records, %2, %3 triggers")
            .arg(query.value(0).toLongLong())
            .arg(sized ? query.value(1).toString() + " sized" : QString("no sizes"))
            .arg(query.value(2).toLongLong());
    }

private:
    QSqlDatabase m_db;
};

// The service the atomic holds once it holds one, waited for up to a minute, from another thread than the test's.
ServiceProcess* waitFor(const std::atomic<ServiceProcess*>& service)
{
    const QDeadlineTimer deadline(60000);
    while (!service.load() && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return service.load();
}

// What befalls an upgrade once it has begun to read the store's records.
enum class Meanwhile
{
    Nothing,
    // Its disk fills up.
    DiskFills,
    // It is killed once its write-ahead log has grown.
    KilledPartWay,
};

// How a worker's connection to a PostgreSQL store goes.
enum class Loss
{
    // The server ends it.
    Ended,
    // The server restarts.
    Restarted,
    // A relay between holds back its bytes each way, both its sockets open.
    Stalled,
    // A relay between closes both its ends at once, without a word from the server.
    Cut,
};

// Where a worker's connection is lost.
enum class LossAt
{
    BetweenSyncs,
    // In a sync's write of its records.
    InAWrite,
    // As a sign-in reads the account.
    InASignIn,
};

QVariantMap mapOf(const QByteArray& answer)
{
    return JSON::getInstance()->toMap(QString::fromUtf8(answer));
}

QVariantMap billEntry(const QByteArray& answer)
{
    return JSON::getInstance()->toList(QString::fromUtf8(answer)).value(0).toMap();
}

QList<QStringList> billRows(const QByteArray& answer)
{
    QList<QStringList> rows;
    for (const QVariant& row : billEntry(answer).value("update_data").toList())
        rows << row.toStringList();
    return rows;
}

// What an answer holds of bill Z, in the notation of uploadOf(), or "absent".
QString stateOfZ(const QByteArray& answer)
{
    const QStringList columns = billEntry(answer).value("update_columns").toStringList();
    for (const QStringList& row : billRows(answer))
        if (row.value(columns.indexOf("id")) == "Z")
            return row.value(columns.indexOf("title")) + ' ' + row.value(columns.indexOf("version")).right(2);
    for (const QVariant& deletion : billEntry(answer).value("delete_data").toList())
        if (deletion.toStringList().value(0) == "Z")
            return "- " + deletion.toStringList().value(1).right(2);
    return "absent";
}
} // namespace

Q_DECLARE_METATYPE(Meanwhile)
Q_DECLARE_METATYPE(Loss)
Q_DECLARE_METATYPE(LossAt)

class TestSyncService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!m_service.baseUrl().isEmpty());
        QVERIFY(m_service.addAccount("甲 a+b", "p&w=x+ %41"));
    }

    void cleanupTestCase() { m_service.stop(); }

    void userIdAnswers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("known");

        const char* const cases[][3] = {{"good", "甲 a+b", "p&w=x+ %41"},
                                        {"wrong password", "甲 a+b", "p&w=x %41"},
                                        {"first character differs", "甲 a+b", "q&w=x+ %41"},
                                        {"empty password", "甲 a+b", ""},
                                        {"password decoded once", "甲 a+b", "p&w=x+ A"},
                                        {"unknown name", "乙", "p&w=x+ %41"},
                                        {"empty", "", ""}};
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << (QString(c[0]) == "good");
    }

    void userIdAnswers()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, known);
        const HttpHelper::Form form{{"username", name}, {"password", password}};
        const QVariantMap answer = mapOf(post("sync/userid.php", form));
        if (known) {
            QVERIFY(answer.value("id").toString().contains(QRegularExpression("^\\d{8}00$")));
            QCOMPARE(mapOf(post("sync/userid.php", form)), answer);
        } else {
            QCOMPARE(answer.value("error").toInt(), 1);
            QVERIFY(!answer.value("message").toString().isEmpty());
            QVERIFY(!answer.contains("id"));
        }
    }

    // Form fields as browsers send them too: a raw "+" is a blank, %XX in either case a byte, a "%" without two
    // hexadecimal digits stands for itself and the field named last counts.
    void decodesFormFields_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("name");
        QTest::newRow("a blank as a plus") << QByteArray("a+b") << "a b";
        QTest::newRow("an escaped plus") << QByteArray("a%2bb%2B") << "a+b+";
        QTest::newRow("UTF-8 in either case") << QByteArray("%e4%B8%aD") << "中";
        QTest::newRow("a percent sign at the end") << QByteArray("5%") << "5%";
        QTest::newRow("a percent sign before no number") << QByteArray("%zz%4") << "%zz%4";
        QTest::newRow("a name given twice") << QByteArray("x&username=twice") << "twice";
    }

    void decodesFormFields()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, name);
        QVERIFY(m_service.addAccount(name, "pw"));
        QVERIFY(mapOf(postRaw("sync/userid.php", "username=" + sent + "&password=pw")).contains("id"));
    }

    // Keys stored by earlier services, derived by Qt's own PBKDF2, still sign in and sync; a key that differs from the
    // right one anywhere refuses the right password, and none signs in with an empty password. Names that a new
    // account may no longer have, with a control character, are served as they are.
    void signsInAccountsKeptBefore_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("changedByte");
        QTest::newRow("the key kept") << "kept"
                                      << "pw" << -1;
        QTest::newRow("its first byte differs") << "kept"
                                                << "pw" << 0;
        QTest::newRow("its last byte differs") << "kept"
                                               << "pw" << 31;
        QTest::newRow("an empty password") << "kept"
                                           << "" << -1;
        QTest::newRow("a line break in the name") << "kept\n"
                                                  << "pw" << -1;
        QTest::newRow("a tab in the name") << "kept\t"
                                           << "pw" << -1;
        QTest::newRow("U+0001 in the name") << "kept\x01"
                                            << "pw" << -1;
        QTest::newRow("U+0085 in the name") << QString::fromUtf16(u"kept\u0085") << "pw" << -1;
        QTest::newRow("U+2028 in the name") << QString::fromUtf16(u"kept\u2028") << "pw" << -1;
    }

    void signsInAccountsKeptBefore()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, changedByte);
        const QByteArray salt = "0123456789abcdef";
        QByteArray key =
            QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, 10000, 32);
        if (changedByte >= 0)
            key[changedByte] = char(key.at(changedByte) ^ 1);
        const QString id = QString("12345%1").arg(++m_accounts, 3, 10, QChar('0')) + "00";
        name += id;
        QVERIFY(m_service.execOnStore({QString("insert into accounts (name, user_id, salt, iterations, hash) values "
                                               "('%1', '%2', '%3', 10000, '%4')")
                                           .arg(name, id, QString(salt.toHex()), QString(key.toHex()))}));
        const bool signsIn = changedByte < 0 && !password.isEmpty();
        const QVariantMap answer = mapOf(post("sync/userid.php", {{"username", name}, {"password", password}}));
        QCOMPARE(answer.value("id").toString(), signsIn ? id : QString());
        QCOMPARE(answer.value("error").toInt(), signsIn ? 0 : 1);
        QCOMPARE(billEntry(sync(name, changeSet(""))).value("table_name").toString(), QString(signsIn ? "bill" : ""));
    }

    // A row wins over what is stored by a newer stamp, and over a deletion by an equal one too; a deletion wins by a
    // newer stamp. Of several rows of one id in one upload the first with the latest stamp counts, of several
    // deletions the latest, and both weigh against what is stored as a single row and deletion would. What the
    // upload loses to is answered unless the device's last row or deletion of the id is what is stored, and not both.
    // So too of records whose values the store reads a piece at a time, titles of 300 KB of quotes and backslashes,
    // whose escapes a piece may end in the middle of.
    void mergesByStamp_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("titleTail");

        // Changes in the notation of uploadOf(): what is stored, what is received, what the store holds after, and
        // what the answer to the upload holds: nothing when the device holds that already.
        const char* const cases[][5] = {
            {"newer row wins", "a 00", "b 01", "b 01", "absent"},
            {"equal stamp keeps stored row", "a 00", "b 00", "a 00", "a 00"},
            {"older row loses", "a 01", "b 00", "a 01", "a 01"},
            {"newer deletion keeps row out", "- 01", "a 00", "- 01", "- 01"},
            {"row beats equal deletion", "- 00", "a 00", "a 00", "absent"},
            {"newer deletion removes row", "a 00", "- 01", "- 01", "absent"},
            {"equal deletion keeps row", "a 00", "- 00", "a 00", "a 00"},
            {"older deletion keeps row", "a 01", "- 00", "a 01", "a 01"},
            {"deletion raised", "- 00", "- 01", "- 01", "absent"},
            {"deletion never lowered", "- 01", "- 00", "- 01", "- 01"},
            {"the same row again", "a 00", "a 00", "a 00", "absent"},
            {"the first of the latest rows", "a 00", "b 01, c 03, d 03, e 02", "c 03", "absent"},
            {"rows older than the stored one", "a 05", "b 01, c 02", "a 05", "a 05"},
            {"the latest deletion", "a 00", "- 02, - 01", "- 02", "absent"},
            {"a deletion older than the row", "a 00", "b 02, - 01", "b 02", "absent"},
            {"a deletion newer than the row", "a 00", "b 01, - 02", "- 02", "absent"},
            {"a row over a deletion of its own stamp", "- 01", "b 01, c 01", "b 01", "absent"},
            {"the stored row sent first", "b 05", "b 05, c 01", "b 05", "b 05"},
            {"the stored row sent last", "b 05", "c 01, b 05", "b 05", "absent"},
            {"the stored deletion sent first", "- 05", "- 05, - 01", "- 05", "- 05"},
            {"the stored deletion sent last", "- 05", "- 01, - 05", "- 05", "absent"},
            {"the stored row sent with a deletion", "a 05", "a 05, - 05", "a 05", "a 05"},
        };
        const QString large = QString("\"\\").repeated(75000);
        for (const auto& c : cases) {
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << QString(c[3]) << QString(c[4]) << QString();
            QTest::newRow(qPrintable(QString(c[0]) + ", of 300 KB"))
                << QString(c[1]) << QString(c[2]) << QString(c[3]) << QString(c[4]) << large;
        }
    }

    void mergesByStamp()
    {
        QFETCH(QString, stored);
        QFETCH(QString, received);
        QFETCH(QString, expected);
        QFETCH(QString, answered);
        QFETCH(QString, titleTail);
        const QString user = newAccount();
        const QByteArray tail = JsonCodec::serialize(titleTail).chopped(1).mid(1);
        const auto state = [&titleTail](const QByteArray& answer) { return stateOfZ(answer).remove(titleTail); };
        QCOMPARE(state(sync(user, uploadOf(stored, tail))), QString("absent"));
        QCOMPARE(state(sync(user, changeSet(""))), stored);
        QCOMPARE(state(sync(user, uploadOf(received, tail))), answered);
        QCOMPARE(state(sync(user, changeSet(""))), expected);
    }

    // An upload of many ids is looked up in parts; a stored row in any part is weighed as in a small upload.
    void decidesEveryPartOfALargeUpload()
    {
        const QString user = newAccount();
        const auto rowOf = [](int id, const char* title, int second) {
            return "[\"" + QByteArray::number(id) + "\",\"" + title + "\",\"" + stamp(second) + "\"]";
        };
        sync(user, changeSet(rowOf(5, "kept", 5) + ',' + rowOf(1100, "older", 0)));
        QByteArrayList rows;
        for (int id = 0; id < 1200; ++id)
            rows << rowOf(id, "new", 1);
        QCOMPARE(billRows(sync(user, changeSet(rows.join(',')))), (QList<QStringList>{{"5", "kept", stamp(5)}}));
        int newer = 0;
        for (const QStringList& row : billRows(sync(user, changeSet(""))))
            newer += row.value(1) == "new" ? 1 : 0;
        QCOMPARE(newer, 1199);
    }

    // A device that never synced uploads rows of 120 bills older than another device's edits and deletions of them:
    // it is answered with those, which stay, and a new device's first sync gets them, whatever order the store's
    // database sorts texts in (on PostgreSQL, the cluster's, or ICU's English, Chinese or root rules), with ids
    // whose order by bytes and by a language differ.
    void keepsNewerBillsWhateverTheDatabaseSorts_data()
    {
        QTest::addColumn<QString>("icuLocale");
        QTest::newRow("the store's own order") << QString();
        QTest::newRow("English") << "en";
        QTest::newRow("Chinese") << "zh";
        QTest::newRow("the root order") << "und";
    }

    void keepsNewerBillsWhateverTheDatabaseSorts()
    {
        QFETCH(QString, icuLocale);
        if (!icuLocale.isEmpty() && !ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store compares its texts as bytes");
        ServiceLaunch launch;
        launch.icuLocale = icuLocale;
        ServiceProcess service({}, {}, launch);
        QVERIFY(service.addAccount("owner", "pw"));
        const BillsOrderedApart bills(120, 3, 2, 1);
        QVERIFY(sync("owner", changeSet(bills.rows.join(','), bills.deletions.join(',')), &service).startsWith('['));
        for (const QByteArray& answer :
             {sync("owner", changeSet(bills.older.join(',')), &service), sync("owner", changeSet(""), &service)}) {
            QCOMPARE(billRows(answer).size(), bills.rows.size());
            QCOMPARE(billEntry(answer).value("delete_data").toList().size(), bills.deletions.size());
            QVERIFY2(!answer.contains("\"older\""), answer.left(300).constData());
        }
    }

    // A sync is cheap or expensive by what the store would do for it: the records it moves, its upload's and those
    // its answer sends, and their bytes as they go on the wire, ids, stamps and values, of what it reads, answers and
    // writes. A device whose last sync the account's log cannot place (a first sync, a time unreadable or one no sync
    // had) gets the whole account: of a large account, of a few large records, or of records large through their
    // ids (those of control characters go as six bytes each), that moves it to the expensive line before it writes
    // anything, and it is answered there in full. Of an account of what the bound leaves beside its upload at most it
    // stays cheap, and so does a sync the log places, however large the account, unless its own upload is over the
    // bound or the stored records it names are. Ids of 255 bytes are stored.
    void sortsSyncsByWhatTheStoreWillDo_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("recordBytes");
        // The JSON text that the stored records' ids begin with, before their number.
        QTest::addColumn<QByteArray>("idStart");
        QTest::addColumn<QString>("syncTime");
        QTest::addColumn<int>("uploaded");
        // Whether the upload's rows are those of the stored records, of the same stamp, or new ones.
        QTest::addColumn<bool>("namesStored");
        // The columns the device asks for, besides the three the records hold.
        QTest::addColumn<int>("otherColumns");
        QTest::addColumn<bool>("expensive");
        const QString first = "2008-08-08 08:08:08";
        const QString placed = stamp(0);
        const auto row = [](const char* name, int records, int recordBytes, const QString& syncTime, int uploaded,
                            bool expensive, const QByteArray& idStart = {}, bool namesStored = false,
                            int otherColumns = 0) {
            QTest::newRow(name) << records << recordBytes << idStart << syncTime << uploaded << namesStored
                                << otherColumns << expensive;
        };
        row("first sync of one record", 1, 1, first, 0, false);
        row("placed sync of a large account", 2001, 1, placed, 0, false);
        row("first sync of 2,000 records", 2000, 1, first, 0, false);
        row("first sync of a large account", 2001, 1, first, 0, true);
        row("unreadable sync time", 2001, 1, "garbage", 0, true);
        row("a sync time no sync had", 2001, 1, "2019-03-04 05:06:07", 0, true);
        row("first sync of three records of 400 KB", 3, 400000, first, 0, true);
        row("placed sync of three records of 400 KB", 3, 400000, placed, 0, false);
        // A record takes its id and stamp as JSON texts, 24 bytes for the id "0", and its values, {"title":"..."}, 12
        // bytes more than its title.
        row("first sync of a record of 1 MB", 1, 1024 * 1024 - 36, first, 0, false);
        row("first sync of a record of 1 MB and a byte", 1, 1024 * 1024 - 35, first, 0, true);
        // 1,500 records of 462 bytes of values take 693 KB: with ids of 17 to 20 bytes 756 KB, of 252 to 255 1.1 MB.
        row("first sync of 1,500 records with ids of 20 bytes", 1500, 450, first, 0, false, QByteArray(16, 'i'));
        row("first sync of 1,500 records with ids of 255 bytes", 1500, 450, first, 0, true, QByteArray(251, 'i'));
        // 255 bytes of such an id take 1.5 KB on the wire.
        row("first sync of 1,000 records with ids of control characters", 1000, 1, first, 0, true,
            QByteArray("\\u0001").repeated(251));
        row("placed sync uploading 2,000 small records", 1, 1, placed, 2000, false);
        row("placed sync uploading 2,500 small records", 1, 1, placed, 2500, true);
        row("first sync of 1,400 records uploading 600", 1400, 1, first, 600, false);
        row("first sync of 1,500 records uploading 600", 1500, 1, first, 600, true);
        // Read to be decided and answered: read once, counted once.
        row("placed sync naming three stored records of 100 KB", 3, 100000, placed, 3, false, {}, true);
        row("placed sync naming three stored records of 400 KB", 3, 400000, placed, 3, true, {}, true);
        // 2,000 records with ids of 255 bytes take 580 KB on the wire; answered in 64 columns, 61 of them empty texts,
        // 1 MB and more.
        row("first sync of 2,000 records with ids of 255 bytes", 2000, 1, first, 0, false, QByteArray(251, 'i'));
        row("first sync of 2,000 records with ids of 255 bytes in 64 columns", 2000, 1, first, 0, true,
            QByteArray(251, 'i'), false, 61);
    }

    void sortsSyncsByWhatTheStoreWillDo()
    {
        QFETCH(int, records);
        QFETCH(int, recordBytes);
        QFETCH(QByteArray, idStart);
        QFETCH(QString, syncTime);
        QFETCH(int, uploaded);
        QFETCH(bool, namesStored);
        QFETCH(int, otherColumns);
        QFETCH(bool, expensive);
        const std::unique_ptr<ServiceProcess> service = serviceLoggingTurns();
        QVERIFY(service->addAccount("owner", "pw"));
        const auto rowsOf = [](const QByteArray& start, int count, const QByteArray& title) {
            QByteArrayList rows;
            for (int id = 0; id < count; ++id)
                rows << "[\"" + start + QByteArray::number(id) + "\",\"" + title + "\",\"" + stamp(1) + "\"]";
            return rows.join(',');
        };
        QVERIFY(sync("owner", changeSet(rowsOf(idStart, records, QByteArray(recordBytes, 't'))), service.get())
                    .startsWith('['));
        QByteArray columns = billColumns;
        for (int i = 0; i < otherColumns; ++i)
            columns.insert(columns.size() - 1, ",\"c" + QByteArray::number(i) + "\"");
        const QByteArray body =
            syncBody("owner", changeSet(rowsOf(namesStored ? idStart : "u", uploaded, "t"), "", columns), syncTime);
        QVERIFY(body.size() < 256 * 1024);
        const QByteArray answer =
            RawHttp::exchange(service->baseUrl(), RawHttp::formPost("sync/syncpc2.php", body), "127.0.0.9");
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|["), answer.left(200));
        QCOMPARE(billRows(answer.mid(answer.indexOf('|') + 1)).size(),
                 syncTime == stamp(0) && !namesStored ? 0 : records);
        const QByteArray log = service->log();
        QVERIFY(log.contains("a worker took a request of 127.0.0.9 (cheap)"));
        QCOMPARE(log.contains("a request of 127.0.0.9 goes to the expensive line"), expensive);
        QCOMPARE(log.contains("a worker took a request of 127.0.0.9 (expensive)"), expensive);
    }

    // A sync that read the account before another sync of it was written finds out once it holds the account, and
    // decides again: the other sync's newer row stays and comes back in the answer. When the other sync wrote more
    // than a cheap sync moves, the sync goes to the expensive line with nothing written, and is answered there in
    // full. A sync that waits past half a second for the account is told the service is busy, with nothing written,
    // on either store: on SQLite whoever writes holds the account, as another service process on the store does.
    // The sync is held, once it has read the account, inside its statement that takes the account, until the other
    // sync's change is in; or the account is held by a transaction of the test's.
    void decidesOnceItHoldsItsAccount_data()
    {
        QTest::addColumn<int>("written");
        QTest::addColumn<bool>("expensive");
        QTest::newRow("a newer row") << 1 << false;
        QTest::newRow("a newer row and 2,000 more") << 2001 << true;
        QTest::newRow("the account held past half a second") << 0 << false;
    }

    void decidesOnceItHoldsItsAccount()
    {
        QFETCH(int, written);
        QFETCH(bool, expensive);
        if (written > 0 && !ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store is held whole while a sync is written, so another cannot be shown waiting");
        const std::unique_ptr<ServiceProcess> service = serviceLoggingTurns();
        QVERIFY(service->addAccount("owner", "pw"));
        const QString userId =
            mapOf(post("sync/userid.php", {{"username", "owner"}, {"password", "pw"}}, service.get()))
                .value("id")
                .toString();
        QVERIFY(sync("owner", uploadOf("a 00"), service.get()).startsWith('['));
        QSqlDatabase store = storeConnection("store", *service);
        QSqlQuery statement(store);
        // The account's id, as the service gave it, is bound, never written into the statement.
        const auto exec = [&statement](const QString& sql, const QVariantList& values = {}) {
            bool done = values.isEmpty() ? statement.exec(sql) : statement.prepare(sql);
            for (const QVariant& value : values)
                statement.addBindValue(value);
            if (done && (values.isEmpty() || statement.exec()))
                return true;
            qWarning() << statement.lastError().text();
            return false;
        };
        if (written > 0)
            QVERIFY(exec("create table gate (open boolean not null)") && exec("insert into gate values (false)") &&
                    exec("create function hold_sync() returns trigger language plpgsql as $$ begin while not "
                         "(select open from gate) loop perform pg_sleep(0.01); end loop; return new; end $$") &&
                    exec("create trigger hold_sync before update on accounts for each row execute function "
                         "hold_sync()"));
        else
            QVERIFY(store.transaction() && exec("update accounts set user_id = user_id where user_id = ?", {userId}));
        QElapsedTimer sent;
        sent.start();
        QNetworkReply* waiting =
            m_manager.post(formRequest("sync/syncpc2.php", service.get()), syncBody("owner", uploadOf("b 01")));
        if (written > 0) {
            QSqlQuery held(storeConnection("watcher", *service));
            // The trigger runs its look at the gate between its sleeps: once seen asleep, the sync is held.
            bool seenHeld = false;
            QTRY_VERIFY_WITH_TIMEOUT(
                seenHeld = seenHeld || (held.exec("select 1 from pg_stat_activity where wait_event = 'PgSleep' and "
                                                  "datname = current_database()") &&
                                        held.next()),
                30000);
            // What another sync of the account writes meanwhile, as the account's change 2: a newer row of Z and
            // records besides it.
            QVERIFY(exec("update records set version = ?, data = '{\"title\":\"c\"}', seq = 2 where user_id = ? and "
                         "id = 'Z'",
                         {QString(stamp(3)), userId}) &&
                    exec("insert into records (user_id, table_name, id, version, deleted, data, seq) select ?, 'bill', "
                         "'r' || n, ?, 0, '{\"title\":\"r\"}', 2 from generate_series(2, ?) as n",
                         {userId, QString(stamp(3)), written}) &&
                    exec("insert into syncs (user_id, seq, applied, client_time) values (?, 2, ?, ?)",
                         {userId, QDateTime::currentMSecsSinceEpoch(), QString(stamp(3))}) &&
                    exec("update gate set open = true"));
        }
        QVERIFY2(QSignalSpy(waiting, &QNetworkReply::finished).wait(30000), "the sync waited past 30 s");
        const QByteArray answered = answer(waiting);
        if (written == 0) {
            QCOMPARE(mapOf(answered).value("message").toString(), QStringLiteral("服务器繁忙，请稍后再试"));
            QVERIFY2(sent.elapsed() < busyWithinMs, qPrintable(QString("busy after %1 ms").arg(sent.elapsed())));
            store.rollback();
        } else {
            QCOMPARE(stateOfZ(answered), QString("c 03"));
            QCOMPARE(billRows(answered).size(), written);
        }
        QCOMPARE(service->log().contains("goes to the expensive line"), expensive);
        // The first sync, the other sync's change and this one's, written once; or the first sync alone, whose row a
        // further sync gets back.
        QVERIFY(exec("select count(*) from syncs where user_id = ?", {userId}) && statement.next());
        QCOMPARE(statement.value(0).toInt(), written > 0 ? 3 : 1);
        QCOMPARE(stateOfZ(sync("owner", changeSet(""), service.get())), QString(written > 0 ? "c 03" : "a 00"));
        statement = QSqlQuery();
        store = QSqlDatabase();
        for (const char* name : {"store", "watcher"})
            QSqlDatabase::removeDatabase(name);
    }

    // Records as earlier versions of the service stored them, with their id and stamp among their columns, are
    // answered and merged as the service's own.
    void keepsRecordsStoredBefore()
    {
        const QString user = newAccount();
        QVERIFY(m_service.execOnStore(
            {"insert into records (user_id, table_name, id, version, deleted, data, seq) values ('" + userIdOf(user) +
             "', 'bill', 'Z', '" + stamp(0) +
             "', 0, '{ \"amount\" : \"7\", \"id\" : \"Z\", \"title\" : \"it''s\", \"version\" : \"" + stamp(0) +
             "\" }', 0)"}));
        QCOMPARE(stateOfZ(sync(user, changeSet(""))), QString("it's 00"));
        sync(user, uploadOf("b 01"));
        const QByteArray answer = sync(user, changeSet("", "", "[\"amount\",\"version\",\"title\",\"id\"]"));
        QCOMPARE(billRows(answer).value(0), (QStringList{"7", QString(stamp(1)), "b", "Z"}));
    }

    // A store that an earlier version made is brought to the present shape at the service's start, on either store:
    // its records, more than a range of them and deletions among them, are served as before, to a device the log
    // cannot place whole, and to one it places with what changed since its last sync, where the store kept the
    // changes' numbers; and each counts at its size, whichever version wrote it: three records of 400 KB that changed
    // since go to the expensive line. A device that never synced then uploads rows of every id, older than what
    // the store holds, which leave it as it was: on PostgreSQL also in a database that sorts texts by a language, where
    // the version before made the store's texts compare as the database does, with ids ordered apart by bytes and by
    // the language.
    void keepsTheRecordsOfAStoreMadeBefore_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("made before the change log") << 0;
        QTest::newRow("made before the records' sizes") << 1;
        QTest::newRow("with sizes its service wrote") << 2;
        QTest::newRow("its texts compared as a database sorting by English does") << 3;
    }

    void keepsTheRecordsOfAStoreMadeBefore()
    {
        QFETCH(int, shape);
        if (shape == 3 && !ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store compares its texts as bytes");
        // One device uploads Z, a deletion of Y and 2,500 bills, one in five of them deleted, and another then three
        // bills of 400 KB.
        const BillsOrderedApart bills(2500, 5, 3, 0);
        const QByteArrayList rows = QByteArrayList{"[\"Z\",\"a\",\"" + stamp(1) + "\"]"} + bills.rows;
        const QByteArrayList deletions = QByteArrayList{"[\"Y\",\"" + stamp(2) + "\"]"} + bills.deletions;
        QByteArrayList large;
        for (const char* id : {"L0", "L1", "L2"})
            large << "[\"" + QByteArray(id) + "\",\"" + QByteArray(400000, 't') + "\",\"" + stamp(4) + "\"]";
        const QString userId = earlierStore(shape, [&] {
            return sync("owner", changeSet(rows.join(','), deletions.join(',')), m_earlier.get()).startsWith('[') &&
                   postRaw("sync/syncpc2.php",
                           syncBody("owner", changeSet(large.join(',')), "2008-08-08 08:08:08", "2024-05-01 11:00:00"),
                           m_earlier.get())
                       .startsWith('[');
        });
        QVERIFY(!userId.isEmpty());
        const std::unique_ptr<ServiceProcess> service = serviceLoggingTurns(m_earlier->database());
        const auto syncFrom = [&service](const QByteArray& address, const QString& syncTime) {
            const QByteArray answer = RawHttp::exchange(
                service->baseUrl(), RawHttp::formPost("sync/syncpc2.php", syncBody("owner", changeSet(""), syncTime)),
                address);
            return answer.startsWith("HTTP/1.1 200 OK|[") ? answer.mid(answer.indexOf('|') + 1) : answer.left(200);
        };
        const QByteArray whole = syncFrom("127.0.0.9", "2008-08-08 08:08:08");
        QCOMPARE(stateOfZ(whole), QString("a 01"));
        QCOMPARE(billRows(whole).size(), rows.size() + large.size());
        QCOMPARE(billEntry(whole).value("delete_data").toList().size(), deletions.size());
        // The first device's last sync began at 10:00:00 by its clock.
        const QByteArray since = syncFrom("127.0.0.10", QString(stamp(0)));
        QCOMPARE(billRows(since).size(), shape == 0 ? rows.size() + large.size() : large.size());
        QVERIFY(service->log().contains("a request of 127.0.0.10 goes to the expensive line"));
        QVERIFY(sync("owner", changeSet(bills.older.join(',')), service.get()).startsWith('['));
        const QByteArray after = syncFrom("127.0.0.11", "2008-08-08 08:08:08");
        QCOMPARE(billRows(after).size(), rows.size() + large.size());
        QCOMPARE(billEntry(after).value("delete_data").toList().size(), deletions.size());
        QVERIFY(!after.contains("\"older\""));
    }

    // What a process of an earlier version writes to the store while its records are brought to the present shape
    // lands in the new table: a sync under way when the upgrade begins, which holds its account's row as it writes,
    // is waited for, and one sent while it waits waits for it, also through a statement it prepared before the table
    // was replaced or altered; neither waits for the other, whatever the upgrade alters first. (On SQLite the upgrade
    // holds the store's writing, which every writer waits for.)
    void keepsWhatOlderProcessesWriteMeanwhile_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("its records moved") << 1;
        QTest::newRow("its texts altered to compare as bytes") << 3;
    }

    void keepsWhatOlderProcessesWriteMeanwhile()
    {
        QFETCH(int, shape);
        if (!ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store's upgrade holds the store's writing, which every other writer waits for");
        const QString userId = earlierStore(shape);
        QVERIFY(!userId.isEmpty());
        const QString holdAccount = "update accounts set user_id = user_id where user_id = '" + userId + "'";
        EarlierWriter second(QUrl(m_earlier->database()).path().mid(1), "with held as (" + holdAccount +
                                                                            " returning 1) " +
                                                                            earlierWrite(userId, "B", "b", stamp(2)));
        QVERIFY(second.prepared());
        std::optional<ServiceProcess> service;
        // The first writer's connection goes first whichever way the test ends: the upgrade waits for it, and the
        // second writer for the upgrade, and its server process would wait for it after the service had gone.
        QSqlDatabase first = storeConnection("store", *m_earlier);
        const std::unique_ptr<QSqlDatabase, void (*)(QSqlDatabase*)> letGo(&first, [](QSqlDatabase* db) {
            db->close();
            *db = QSqlDatabase();
            QSqlDatabase::removeDatabase("store");
        });
        QVERIFY(first.transaction());
        QVERIFY(QSqlQuery(first).exec(holdAccount));
        QVERIFY(QSqlQuery(first).exec(earlierWrite(userId, "A", "a", stamp(1))));
        ServiceLaunch launch;
        launch.waitToListen = false;
        service.emplace(QStringList(), m_earlier->database(), launch);
        QTRY_COMPARE_WITH_TIMEOUT(count(first, locksWaitedFor), 1, 30000);
        second.write();
        QTRY_COMPARE_WITH_TIMEOUT(count(first, locksWaitedFor), 2, 30000);
        QVERIFY(first.commit());
        QVERIFY(service->listening());
        QVERIFY(second.written());
        const QList<QStringList> rows = billRows(sync("owner", changeSet(""), &*service));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(QStringList({rows.at(0).value(0), rows.at(1).value(0)}), (QStringList{"A", "B"}));
    }

    // Processes started together on a store an earlier version made bring it to the present shape once: the one
    // that does holds the store against the other, which finds it done, and both serve. The test holds the store
    // until both have started.
    void upgradesOnceForProcessesStartedTogether()
    {
        const QString userId = earlierStore(1);
        QVERIFY(!userId.isEmpty());
        QVERIFY(m_earlier->execOnStore({earlierWrite(userId, "Z", "a", stamp(1))}));
        const bool postgreSql = ServiceProcess::onPostgreSql();
        std::optional<StoreHold> file;
        QSqlDatabase server;
        if (postgreSql) {
            server = storeConnection("store", *m_earlier);
            QVERIFY(server.transaction() && QSqlQuery(server).exec("lock table records in access exclusive mode"));
        } else {
            QVERIFY(file.emplace(m_earlier->database()).held());
        }
        ServiceLaunch launch;
        launch.waitToListen = false;
        std::vector<std::unique_ptr<ServiceProcess>> services;
        for (int i = 0; i < 2; ++i)
            services.push_back(std::make_unique<ServiceProcess>(QStringList(), m_earlier->database(), launch));
        // On SQLite both wait for the store's writing; on PostgreSQL one waits for the table, the other for it.
        if (postgreSql) {
            QTRY_COMPARE_WITH_TIMEOUT(waitingForTheStore(server), 2, 30000);
            QVERIFY(server.commit());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(
                services.at(0)->log().contains("waiting for") && services.at(1)->log().contains("waiting for"), 30000);
            file.reset();
        }
        int upgrades = 0;
        for (const std::unique_ptr<ServiceProcess>& service : services) {
            QVERIFY(service->listening());
            QCOMPARE(stateOfZ(sync("owner", changeSet(""), service.get())), QString("a 01"));
            upgrades += service->log().count("bringing the store's 1 records to their present shape");
        }
        QCOMPARE(upgrades, 1);
        server = QSqlDatabase();
        QSqlDatabase::removeDatabase("store");
    }

    // An upgrade says every 10 seconds how many records it has done: one held that long before its first range of
    // records is done says so as it goes on. The test holds it by a state: on PostgreSQL a transaction of the test's
    // holds the name of the table that the records move into; on SQLite the upgrade's first read of the store's file
    // once it has begun waits. The records, 30 of 100 KB of letters that no compression shrinks, take several ranges.
    void upgradeSaysHowFarItHasCome()
    {
        const bool postgreSql = ServiceProcess::onPostgreSql();
        if (!postgreSql && geteuid() != 0)
            QSKIP("only root may hold another process's reads of a file");
        QRandomGenerator letters(1);
        QByteArrayList rows;
        for (int i = 0; i < 30; ++i) {
            QByteArray title(100000, Qt::Uninitialized);
            for (char& c : title)
                c = char('a' + letters.bounded(26));
            rows << "[\"L" + QByteArray::number(i) + "\",\"" + title + "\",\"" + stamp(1) + "\"]";
        }
        QVERIFY(!earlierStore(1, [&] {
                     return sync("owner", changeSet(rows.join(',')), m_earlier.get()).startsWith('[');
                 }).isEmpty());

        std::atomic<ServiceProcess*> upgrading{nullptr};
        std::atomic<bool> held{false};
        std::atomic<bool> released{false};
        std::optional<ReadGate> gate;
        QSqlDatabase holder;
        if (postgreSql) {
            holder = storeConnection("holder", *m_earlier);
            QVERIFY(holder.transaction() && QSqlQuery(holder).exec("create table records_shaped (held integer)"));
        } else {
            gate.emplace(m_earlier->database().section(':', 1), [&] {
                ServiceProcess* const service = waitFor(upgrading);
                if (held || !service || !service->log().contains("its syncs wait meanwhile"))
                    return;
                held = true;
                while (!released)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            QVERIFY(gate->isWatching());
        }
        ServiceLaunch launch;
        launch.waitToListen = false;
        ServiceProcess service(QStringList(), m_earlier->database(), launch);
        upgrading = &service;
        // Whichever way the test ends, the upgrade goes on before the service is stopped.
        const auto release = [&] {
            released = true;
            if (holder.isOpen())
                holder.rollback();
        };
        const auto releasedAtTheEnd = qScopeGuard(release);
        if (postgreSql)
            QTRY_COMPARE_WITH_TIMEOUT(
                count(holder, "select count(*) from pg_locks where locktype = 'transactionid' and not granted"), 1,
                30000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(held, 30000);
        // The upgrade began before it was held: however busy the machine, it has been under way 10 s once this ends.
        QTest::qWait(10000);
        release();
        QVERIFY(service.listening());
        const QString log = QString::fromUtf8(service.log());
        QVERIFY2(
            QRegularExpression("bringing the store's 30 records to their present shape: \\d+ done, after \\d+\\.\\d s")
                .match(log)
                .hasMatch(),
            qPrintable(log));
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase("holder");
    }

    // A start whose store needs more room on its disk for its upgrade than the disk has says so, with the room it
    // needs, and changes nothing, whether its records are moved or their sizes counted again; with the room, the
    // store is upgraded, and its file and write-ahead log take about what the store took before, though a connection
    // of another process stays open on it, which keeps SQLite from removing the log as the last one closes. A disk
    // that fills once the upgrade has begun to read the records is named, with the room the upgrade needed, and
    // leaves the store as it was; an upgrade killed part-way leaves a write-ahead log that the next start's look at
    // its room does not count.
    void upgradesOnlyWithTheRoomItNeeds_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("diskMb");
        QTest::addColumn<Meanwhile>("meanwhile");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, int shape, int records, int diskMb, Meanwhile meanwhile,
                            const QString& refusal = {}) {
            QTest::newRow(name) << shape << records << diskMb << meanwhile << refusal;
        };
        // 8 MB of records take 8 MB more while they are moved, a quarter of that more for their new index and 16 MB
        // besides; counted again, 8 MB and 16 MB. The refusal names the room.
        const QString moving = "bringing its 80 records to their present shape";
        const QString counting = "counting the sizes of its 80 records again";
        const QString filled = "its disk filled up while %1, which needs about %2 MB free: the store is unchanged";
        row("a disk without the room", 1, 80, 24, Meanwhile::Nothing, moving + " needs about 26 MB free");
        row("a disk with a quarter of the room and more", 1, 80, 30, Meanwhile::Nothing,
            moving + " needs about 26 MB free");
        row("a disk with the room", 1, 80, 64, Meanwhile::Nothing);
        // 40 MB moved at once would take 40 MB more in the file, besides a write-ahead log of 40 MB.
        row("a disk with the room for the records moved, not for a second copy", 1, 400, 112, Meanwhile::Nothing);
        row("a disk without the room to count the sizes again", 2, 80, 24, Meanwhile::Nothing,
            counting + " needs about 24 MB free");
        row("a disk with the room to count the sizes again", 2, 80, 48, Meanwhile::Nothing);
        row("a disk that fills once the records are moved", 1, 80, 64, Meanwhile::DiskFills, filled.arg(moving, "26"));
        row("a disk that fills once the sizes are counted again", 2, 80, 64, Meanwhile::DiskFills,
            filled.arg(counting, "24"));
        // 100 MB of records, on a disk with a few MB more than the room they need.
        row("a disk with the room, after an upgrade killed part-way", 1, 1000, 240, Meanwhile::KilledPartWay);
    }

    void upgradesOnlyWithTheRoomItNeeds()
    {
        QFETCH(int, shape);
        QFETCH(int, records);
        QFETCH(int, diskMb);
        QFETCH(Meanwhile, meanwhile);
        QFETCH(QString, refusal);
        if (ServiceProcess::onPostgreSql())
            QSKIP("a PostgreSQL store's room is its server's");
        if (geteuid() != 0)
            QSKIP("only root may mount a disk of the test's own");
        QTemporaryDir folder;
        const TestMount disk(TestMount::SmallDisk, folder.path(), diskMb);
        QVERIFY(disk.isMounted());
        const QString path = folder.filePath("service.db");
        // In write-ahead-log mode, as an earlier version left it.
        QStringList made{"pragma journal_mode = wal", earlierRecordTables.at(shape)};
        for (int i = 0; i < records; ++i)
            made << earlierWrite("u", "L" + QByteArray::number(i), QByteArray(100000, 't'), stamp(1));
        QVERIFY(TestStore::exec("sqlite:" + path, made));
        const qint64 bytesBefore = QFileInfo(path).size();
        const StoreWatch watch(path);
        const QString before = watch.state();
        std::optional<ServiceProcess> service;
        if (meanwhile != Meanwhile::Nothing) {
            // The service's reads of the store wait for the gate, which waits for the test to know the service.
            std::atomic<ServiceProcess*> gated{nullptr};
            bool befallen = false;
            const ReadGate gate(path, [&] {
                ServiceProcess* const upgrading = waitFor(gated);
                if (befallen || !upgrading)
                    return;
                if (meanwhile == Meanwhile::DiskFills && upgrading->log().contains("its syncs wait meanwhile")) {
                    disk.fill();
                    befallen = true;
                } else if (meanwhile == Meanwhile::KilledPartWay &&
                           QFileInfo(path + "-wal").size() >= 24 * 1024 * 1024) {
                    befallen = kill(pid_t(upgrading->processId()), SIGKILL) == 0;
                }
            });
            QVERIFY(gate.isWatching());
            ServiceLaunch launch;
            launch.waitToListen = false;
            service.emplace(QStringList(), "sqlite:" + path, launch);
            gated = &*service;
            const int status = service->exitCode();
            QVERIFY2(befallen, service->log().constData());
            QCOMPARE(status, meanwhile == Meanwhile::DiskFills ? 1 : -1);
        }
        if (meanwhile == Meanwhile::KilledPartWay)
            service.reset();
        if (!service)
            service.emplace(QStringList(), "sqlite:" + path);
        QCOMPARE(service->listening(), refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QCOMPARE(service->exitCode(), 1);
            QVERIFY2(service->log().contains(refusal.toUtf8()), service->log().constData());
            QCOMPARE(watch.state(), before);
            return;
        }
        QCOMPARE(watch.state(), QString("%1 records, %1 sized, 2 triggers").arg(records));
        QCOMPARE(QFileInfo(path + "-wal").size(), 0);
        QVERIFY2(QFileInfo(path).size() < bytesBefore + 2 * 1024 * 1024,
                 qPrintable(QString("%1 bytes after, %2 before").arg(QFileInfo(path).size()).arg(bytesBefore)));
    }

    // A PostgreSQL database in SQL_ASCII, which initdb makes under the C locale and earlier versions served, is served
    // as one in UTF8 is: texts of every kind in a record's id and values come to another device as they were sent.
    // One in an encoding that cannot hold them as sent is refused at the start, naming it and what to make instead,
    // and so is one that the service cannot make its tables in, naming the step and what went wrong in words, with
    // nothing made.
    void startsOnTheDatabasesItCanServe_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("refusal");
        const QString encodingRefusal =
            "its database keeps texts in %1, which holds neither every text a device sends nor its size as it goes on "
            "the wire: the service needs a database made with encoding 'UTF8' (createdb -E UTF8 -T template0 ";
        QTest::newRow("in UTF8") << "UTF8" << QString() << QString();
        QTest::newRow("in SQL_ASCII") << "SQL_ASCII" << QString() << QString();
        QTest::newRow("in LATIN1") << "LATIN1" << QString() << encodingRefusal.arg("LATIN1");
        QTest::newRow("in EUC_CN") << "EUC_CN" << QString() << encodingRefusal.arg("EUC_CN");
        QTest::newRow("that takes no writes")
            << "UTF8"
            << "default_transaction_read_only = on"
            << "making its tables: the database takes no writes: a standby, or one whose transactions are read-only "
               "(25006)";
    }

    void startsOnTheDatabasesItCanServe()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, setting);
        QFETCH(QString, refusal);
        if (!ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store keeps its texts in UTF-8");
        QTemporaryDir folder;
        const TestStore store(folder.filePath("service.db"), encoding);
        QVERIFY(!store.address().isEmpty());
        if (!setting.isEmpty())
            QVERIFY(TestStore::exec(store.address(),
                                    {"alter database " + QUrl(store.address()).path().mid(1) + " set " + setting}));
        ServiceProcess service({}, store.address());
        QCOMPARE(service.baseUrl().isEmpty(), !refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QCOMPARE(service.exitCode(), 1);
            QVERIFY2(service.log().contains(refusal.toUtf8()), service.log().constData());
            QVERIFY(!TestStore::exec(store.address(), {"select 1 from accounts"}));
            return;
        }
        QVERIFY(service.addAccount("owner", "pw"));
        const QString text = QString::fromUtf8("中文 😀 \"q\" \\ \x01\x1f\x7f\xc2\x85\xc2\x9f é");
        const QStringList row{"id " + text, "title " + text, QString(stamp(1))};
        const QByteArray stored = sync("owner", changeSet(JsonCodec::serialize(row)), &service);
        QVERIFY2(stored.startsWith('[') && billRows(stored).isEmpty(), stored.left(200).constData());
        QCOMPARE(billRows(sync("owner", changeSet(""), &service)), QList<QStringList>{row});
    }

    // Through PgBouncer in front of the database, in session mode with its defaults, in session mode handing a server
    // session on from one connection to the next without resetting it, and in transaction mode where the address says
    // so: accounts added from the command line one after another, a sign-up and feedback, held to their hourly limits,
    // sign-ins and syncs are each answered right, as no statement runs under a name another process prepared in the
    // session it was handed, nor relies on one of its own beyond its transaction; the server's notices at the start
    // stay out of the log. The pooler hands out its server connections in turn, each transaction, and each statement
    // outside one, to another than the one before, as a busy pool does. A pooler in transaction mode that the address
    // does not name, or one in statement mode, is refused at the start, saying what to set, with nothing made.
    void servesThroughAPooler_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("refusal");
        const QStringList inTurn{"server_round_robin = 1"};
        QTest::newRow("session mode, its defaults") << "session" << QStringList() << QString() << QString();
        QTest::newRow("session mode, its sessions handed on unreset")
            << "session" << QStringList{"server_reset_query ="} << QString() << QString();
        QTest::newRow("transaction mode, named in the address")
            << "transaction" << inTurn << "pool_mode=transaction" << QString();
        QTest::newRow("transaction mode, not named")
            << "transaction" << inTurn << QString()
            << "its connections share the database server's sessions, as a pooler in transaction mode hands them out, "
               "where a statement the service prepares on one connection would be unknown on the next: add "
               "pool_mode=transaction to the --database address";
        QTest::newRow("statement mode")
            << "statement" << inTurn << "pool_mode=transaction"
            << "a transaction was refused (08P01), as a pooler in statement mode refuses them";
    }

    void servesThroughAPooler()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, settings);
        QFETCH(QString, parameters);
        QFETCH(QString, refusal);
        if (!ServiceProcess::onPostgreSql())
            QSKIP("a pooler stands in front of a PostgreSQL store alone");
        if (const QString missing = TestPooler::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QTemporaryDir folder;
        const TestStore store(folder.filePath("service.db"));
        QVERIFY(!store.address().isEmpty());
        TestPooler pooler(mode, settings);
        QVERIFY2(pooler.running(), pooler.log().constData());
        const QString address = pooler.address(store.address(), parameters);
        QVERIFY(mode == "statement" || pooler.openServerConnections(address, 3));
        // Each round below makes three failed sign-ins from the test's address.
        ServiceProcess service({"--login-failures-per-address", "100"}, address);
        QCOMPARE(service.baseUrl().isEmpty(), !refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QCOMPARE(service.exitCode(), 1);
            QVERIFY2(service.log().contains(refusal.toUtf8()), service.log().constData());
            QVERIFY(!service.addAccount("owner", "pw"));
            QVERIFY(!TestStore::exec(store.address(), {"select 1 from accounts"}));
            return;
        }
        QVERIFY2(!service.log().contains("NOTICE"), service.log().constData());
        QVERIFY(service.addAccount("owner", "pw"));
        QVERIFY(service.addAccount("second", "pw"));
        QVERIFY(post("", {{"username", "third"}, {"password", "password"}}, &service).contains("注册成功"));
        const HttpHelper::Form feedback{{"email", "a@b.cc"}, {"subject", "FNK PC 反馈a@b.cc"}, {"content", "好"}};
        QVERIFY(post("client/feedback.php", feedback, &service).contains("success"));
        QCOMPARE(stateOfZ(sync("owner", uploadOf("b 01"), &service)), QString("absent"));
        QCOMPARE(stateOfZ(sync("second", uploadOf("c 02"), &service)), QString("absent"));
        for (int round = 0; round < 3; ++round) {
            for (const auto& [name, password] : {std::pair{"owner", "pw"}, {"second", "pw"}, {"third", "password"}}) {
                QVERIFY2(mapOf(post("sync/userid.php", {{"username", name}, {"password", password}}, &service))
                             .contains("id"),
                         name);
                QCOMPARE(mapOf(post("sync/userid.php", {{"username", name}, {"password", "wrong"}}, &service))
                             .value("error")
                             .toInt(),
                         1);
            }
            QCOMPARE(stateOfZ(sync("owner", changeSet(""), &service)), QString("b 01"));
            QCOMPARE(stateOfZ(sync("second", uploadOf("a 00"), &service)), QString("c 02"));
        }
    }

    // A device of another version, which names columns of its own, gets its rows in them, and a row it sends keeps
    // the stored record's columns it lacks, which a device of the first version gets back. So too where the record's
    // values are read a piece at a time, a title of 300 KB, and where they are no object of texts alone, as the service
    // writes them, which are read whole.
    void answersInEachDevicesColumns_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("storedAs");
        const QString title = "it's \"中\"\n";
        const QString large = title + QString("\"\\").repeated(75000);
        QTest::newRow("a small record") << title << QString();
        QTest::newRow("a record of 300 KB") << large << QString();
        QTest::newRow("a record of 300 KB whose values hold a number")
            << large << QString("update records set data = '{\"count\":5,' || substr(data, 2)");
    }

    void answersInEachDevicesColumns()
    {
        QFETCH(QString, title);
        QFETCH(QString, storedAs);
        const QString user = newAccount();
        sync(user, changeSet(JsonCodec::serialize(QStringList{"Z", title, stamp(0)})));
        if (!storedAs.isEmpty())
            QVERIFY(m_service.execOnStore({storedAs + " where user_id = '" + userIdOf(user) + "' and id = 'Z'"}));
        const QStringList newer{"id", "amount", "version", "remark"};
        const QList<QStringList> newerRows{{"Z", "7", stamp(1), "新"}};
        const QByteArray answer =
            sync(user, changeSet(JsonCodec::serialize(newerRows.first()), "", JsonCodec::serialize(newer)));

        QStringList answered;
        for (const QVariant& entry : JSON::getInstance()->toList(QString::fromUtf8(answer)))
            answered << entry.toMap().value("table_name").toString();
        QCOMPARE(answered, tables);
        QCOMPARE(billEntry(answer).value("update_columns").toStringList(), newer);
        QCOMPARE(billRows(sync(user, changeSet("", "", JsonCodec::serialize(newer)))), newerRows);
        // The older device gets its own columns back, with the title the newer device's edit left alone.
        QCOMPARE(billRows(sync(user, changeSet(""))), (QList<QStringList>{{"Z", title, stamp(1)}}));
    }

    // Devices X and Y of one account, syncing with clocks of their own. "Y+a" uploads bill a stamped now, "Y+a@2020"
    // stamped in 2020 (an edit made long ago and sent late), "X!" syncs without changes, "X@+2" sets X's clock two
    // hours ahead of the service's, "X<1" syncs with the sync time X had after its first sync (a book put back from
    // a copy) and "X?" with a sync time the account never saw (a book synced with another account). The bills the
    // answer of the last step holds are compared.
    void answersWhatTheDeviceLacks_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const char* const cases[][3] = {
            {"a first sync", "Y+a Y+b X!", "a b"},
            {"a change since the last sync", "X! Y+a X!", "a"},
            {"the device's own upload", "X+a", ""},
            {"nothing new since the device's own upload", "X+a X!", ""},
            {"an old edit sent late", "X! Y+a@2020 X!", "a"},
            {"a clock two hours ahead", "Y+b X@+2 X! Y+a X!", "a"},
            {"a clock two hours behind", "Y+b X@-2 X! Y+a X!", "a"},
            {"a clock set back three hours", "Y+b X@+3 X! Y+a X@0 X!", "a b"},
            {"a book put back from a copy", "X! Y+a X! Y+b X<1", "a b"},
            {"a last sync the account never saw", "Y+a X?", "a"},
        };
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]);
    }

    void answersWhatTheDeviceLacks()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        const QString user = newAccount();
        QMap<QChar, Device> devices;
        QByteArray answer;
        const QStringList steps = script.split(' ');
        for (qsizetype at = 0; at < steps.size(); ++at) {
            const QString& step = steps.at(at);
            Device& device = devices[step.at(0)];
            const QChar kind = step.at(1);
            const QString rest = step.mid(2);
            if (kind == '@') {
                device.clockOffset = rest.toLongLong() * 3600;
                continue;
            }
            if (kind == '<')
                device.syncStarts << device.syncStarts.at(rest.toInt());
            if (kind == '?')
                device.syncStarts << QDateTime::currentDateTimeUtc().addSecs(-3600).toString(stampFormat);
            const QString version = rest.contains("@2020") ? "2020-01-01 00:00:00" : device.clock();
            const QStringList row{rest.section('@', 0, 0), "title", version};
            answer = syncAs(device, user, changeSet(kind == '+' ? JsonCodec::serialize(row) : QByteArray()));
            // The steps after a failed sync would read starts it never recorded.
            QVERIFY2(!billEntry(answer).isEmpty(), qPrintable(QString("step %1 of the script, %2, did not sync: %3")
                                                                  .arg(at + 1)
                                                                  .arg(step, QString::fromUtf8(answer.left(200)))));
        }
        QStringList ids;
        for (const QStringList& row : billRows(answer))
            ids << row.value(0);
        ids.sort();
        QCOMPARE(ids.join(' '), expected);
    }

    // Each text arrives at another device as the program's reader reads it from the upload, with no control
    // character left raw in the answer, and is stored as it is read: the device that sent it, sending it again,
    // holds it already and gets nothing back.
    void keepsEveryText_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("kept");
        QString controls(QChar(0));
        for (char16_t c = 1; c < 0x20; ++c)
            controls += QChar(c);
        controls += QStringView(u"\u007f\u0085\u2028末");
        QTest::newRow("quotes and backslashes") << QByteArray("\"it's \\\"q\\\" \\\\ \\/\"") << "it's \"q\" \\ /";
        // As the program writes them: \b \f \n \r \t escaped, the others raw.
        QTest::newRow("control characters") << JsonCodec::serialize(controls) << controls;
        QTest::newRow("unicode escapes") << QByteArray("\"\\u00e9\\u4E2D\\u0000.\"")
                                         << QString::fromUtf8("é中") + QChar(0) + '.';
        QTest::newRow("surrogate pair") << QByteArray("\"\\ud83d\\ude00\"") << QString::fromUtf8("😀");
        QTest::newRow("lone surrogates") << QByteArray("\"\\ud83dx\\ude00\"") << "?x?";
        QTest::newRow("unknown escape and no number") << QByteArray("\"a\\qb\\uzzzz\"") << QString("ab") + QChar(0);
        QTest::newRow("non-ASCII") << QByteArray("\"中文 😀\"") << QString::fromUtf8("中文 😀");
        QTest::newRow("no UTF-8") << QByteArray("\"a\xff\"") << QString::fromUtf8("a\xef\xbf\xbd");
        QTest::newRow("empty") << QByteArray("\"\"") << QString();
    }

    void keepsEveryText()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, kept);
        const QString user = newAccount();
        const QByteArray upload = changeSet("[\"Z\"," + sent + ",\"" + stamp(0) + "\"]");
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
        const QByteArray answer = sync(user, changeSet(""));
        const QString text = QString::fromUtf8(answer);
        const auto control = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f); };
        QVERIFY(std::none_of(text.cbegin(), text.cend(), control));
        QCOMPARE(billRows(answer).value(0), (QStringList{"Z", kept, QString(stamp(0))}));
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
    }

    // The answer byte for byte as the program's JSON writer would write it, with the control characters it leaves
    // raw escaped: the program and earlier services read and compare these texts.
    void writesAnswersInTheProgramsForm()
    {
        const QString user = newAccount();
        const QString title = QString::fromUtf8("\"q\\\b\f\n\r\t\x01\x1f\x7f\xc2\x85\xc2\xa0中");
        sync(user, changeSet(JsonCodec::serialize(QStringList{"Z", title, stamp(0)}), "[\"Y\",\"" + stamp(1) + "\"]"));
        QByteArray expected =
            "[ { \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ [ \"Y\", \"" + stamp(1) +
            "\" ] ], \"table_name\" : \"bill\", \"update_columns\" : [ \"version\", \"id\", "
            "\"title\" ], \"update_data\" : [ [ \"" +
            stamp(0) + "\", \"Z\", \"\\\"q\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f\\u0085\u00a0中\" ] ] }";
        for (const QString& table : tables.mid(1))
            expected +=
                ", { \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [  ], \"table_name\" : \"" +
                table.toUtf8() + "\", \"update_columns\" : [ \"id\", \"name\", \"version\" ], \"update_data\" : [  ] }";
        expected += " ]";
        QCOMPARE(sync(user, changeSet("", "", "[\"version\",\"id\",\"title\"]")), expected);
    }

    // The program's reader lets commas be missing or repeated and ignores names it does not know and whatever follows
    // the list; the service reads uploads as it does.
    void readsTheProgramsDialect_data()
    {
        QTest::addColumn<QByteArray>("upload");
        const QByteArray row = "[\"Z\",\"a\",\"" + stamp(0) + "\"]";
        QTest::newRow("as the program writes it") << changeSet(row);
        QTest::newRow("commas missing") << changeSet("[\"Z\" \"a\" \"" + stamp(0) + "\"]").replace("}, {", "} {");
        QTest::newRow("commas repeated") << changeSet(",," + row + ",").replace("[ {", "[ ,{");
        QTest::newRow("names it does not know")
            << changeSet(row).replace("\"table_name\"", "\"x\" : [{\"y\": [1, -2.5e3, null, true]}], \"table_name\"");
        QTest::newRow("text after the list") << changeSet(row) + "]]} trailing";
        QTest::newRow("a name given twice") << changeSet(row).replace(
            "\"update_data\"", "\"update_data\" : [[\"Y\",\"y\",\"" + stamp(0) + "\"]], \"update_data\"");
    }

    void readsTheProgramsDialect()
    {
        QFETCH(QByteArray, upload);
        const QString user = newAccount();
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
        QCOMPARE(billRows(sync(user, changeSet(""))), (QList<QStringList>{{"Z", "a", stamp(0)}}));
    }

    // A sync with a wrong password or anything but a change set as the program writes it stores nothing of it.
    void refusesBadUploadsWhole_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("error");
        const QByteArray row = "[\"Z\",\"b\",\"" + stamp(1) + "\"]";
        const QByteArray good = changeSet(row);
        const auto form = [](const QByteArray& data, const QString& password = "pw") {
            return HttpHelper::encodeForm({{"username", "bad"}, {"password", password}}) +
                   "&data=" + data.toPercentEncoding();
        };
        const auto refused = [&form](const char* name, const QByteArray& data) {
            QTest::newRow(name) << form(data) << 2;
        };
        // The password is checked as for a user id; whether a sync checks it at all is what counts here.
        QTest::newRow("wrong password") << form(good, "PW") << 1;
        QTest::newRow("no data") << HttpHelper::encodeForm({{"username", "bad"}, {"password", "pw"}}) << 2;
        refused("not json", "<html>");
        refused("cut short", good.left(good.size() / 2));
        refused("a text cut short", good.left(good.indexOf("\"b\"") + 2));
        refused("an escape cut short", "[{\"update_data\":[[\"Z\",\"a\\u00");
        refused("a backslash at the end", "[{\"update_data\":[[\"Z\",\"a\\");
        refused("a list of numbers", "[1,1,1]");
        refused("an object", "{\"table_name\":\"bill\"}");
        refused("an entry that is a list", QByteArray(good).replace("{ \"delete_columns\"", "[ \"delete_columns\""));
        refused("lists nested deep", QByteArray(2000, '[') + QByteArray(2000, ']'));
        refused("five tables", QByteArray(good).replace("\"member\"", "\"bill\""));
        refused("unknown table", QByteArray(good).replace("\"member\"", "\"setting\""));
        refused("no rows", QByteArray(good).replace("\"update_data\"", "\"other\""));
        refused("user id column", changeSet(row, "", "[\"id\",\"user_id\",\"version\"]"));
        refused("column with sql", changeSet(row, "", "[\"id\",\"title=1;drop table tbl_bill--\",\"version\"]"));
        refused("no version column", changeSet(row, "", "[\"id\",\"title\",\"v\"]"));
        refused("a column named twice", changeSet(row, "", "[\"id\",\"title\",\"version\",\"title\"]"));
        refused("a row shorter than the columns", changeSet("[\"Z\",\"" + stamp(1) + "\"]"));
        refused("a row longer than the columns", changeSet("[\"Z\",\"b\",\"" + stamp(1) + "\",\"c\"]"));
        refused("rows of the right length after one too short", changeSet("[\"Z\",\"" + stamp(1) + "\"]," + row));
        refused("a row shorter than the columns after one of their length",
                changeSet(row + ",[\"Y\",\"" + stamp(1) + "\"]"));
        refused("a row longer than the columns after one of their length",
                changeSet(row + ",[\"Y\",\"" + stamp(1) + "\",\"" + stamp(1) + "\",\"x\"]"));
        // With the stamp before the title, the cells after a row one short would be read as a row with an id and a
        // stamp in their places; the last title a stamp makes sure of it.
        const QByteArray second = "\"" + stamp(1) + "\"";
        const auto oneShort = [&second](const QByteArray& lastTitle) {
            return changeSet("[\"Z\"," + second + ",\"b\"],[\"Y\"," + second + "],[\"X\"," + second + "," + lastTitle +
                                 "]",
                             "", "[\"id\",\"version\",\"title\"]");
        };
        refused("a row one short between rows of the columns' length", oneShort("\"c\""));
        refused("a row one short before cells that read as an id and a stamp", oneShort(second));
        QByteArrayList columns{"\"id\"", "\"version\""};
        QByteArrayList cells{"\"Z\"", second};
        for (int i = 2; i < 65; ++i) {
            columns << "\"c" + QByteArray::number(i) + "\"";
            cells << "\"x\"";
        }
        refused("more columns than a table has",
                changeSet('[' + cells.join(',') + ']', "", '[' + columns.join(',') + ']'));
        refused("a row that is no list", changeSet("\"Z\""));
        refused("a number value", changeSet("[\"Z\",2,\"" + stamp(1) + "\"]"));
        refused("a null value", changeSet("[\"Z\",null,\"" + stamp(1) + "\"]"));
        refused("a bad stamp", changeSet("[\"Z\",\"b\",\"2024-5-1 10:00:01\"]"));
        refused("an empty id", changeSet("[\"\",\"b\",\"" + stamp(1) + "\"]"));
        refused("an id of 256 bytes", changeSet("[\"" + QByteArray(256, 'i') + "\",\"b\",\"" + stamp(1) + "\"]"));
        refused("an id of 86 characters of 3 bytes",
                changeSet("[\"" + QByteArray("中").repeated(86) + "\",\"b\",\"" + stamp(1) + "\"]"));
        // PostgreSQL keeps no text with U+0000: such an id is refused alike on either store.
        refused("an id with U+0000", changeSet("[\"nul\\u0000a\",\"b\",\"" + stamp(1) + "\"]"));
        refused("an id with a zero byte",
                changeSet("[\"nul" + QByteArray(1, '\0') + "a\",\"b\",\"" + stamp(1) + "\"]"));
        refused("a deletion of an id with U+0000", changeSet("", "[\"nul\\u0000a\",\"" + stamp(1) + "\"]"));
        refused("a deletion of an id of 256 bytes",
                changeSet("", "[\"" + QByteArray(256, 'i') + "\",\"" + stamp(1) + "\"]"));
        refused("a deletion of one text", changeSet("", "[\"Z\"]"));
        refused("a deletion of three texts", changeSet("", "[\"Z\",\"" + stamp(1) + "\",\"x\"]"));
        refused("a deletion with a bad stamp", changeSet("", "[\"Z\",\"2024-05-01\"]"));
        QTest::newRow("over 64 MB") << form(good) + "&pad=" + QByteArray(64 * 1024 * 1024, 'x') << 2;
    }

    void refusesBadUploadsWhole()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, error);
        static const bool created = m_service.addAccount("bad", "pw");
        QVERIFY(created);
        sync("bad", uploadOf("a 00"));
        const QByteArray stored = sync("bad", changeSet(""));

        const QVariantMap answer = mapOf(postRaw("sync/syncpc2.php", body));
        QCOMPARE(answer.value("error").toInt(), error);
        QVERIFY(answer.contains("message"));
        QCOMPARE(sync("bad", changeSet("")), stored);
    }

    // A store that fails a write keeps none of it, and the log names the failure by its code and statement without
    // the store's message, which here quotes the value written as a server's message may: a sync's record, a
    // sign-up's account and feedback, and a sync whose statements have all run but whose commit fails, as on a full
    // disk, which the log names as such before it says that the sync was not stored. So does a start whose upgrade
    // fails, through Qt's driver, as it counts the sizes of the records of a store an earlier version made: it names
    // the step and the code, and leaves the store as it was, which a start once the trigger is gone then serves. The
    // store's trigger fails the write whose value is the secret, at once or, on PostgreSQL, as its transaction commits;
    // on SQLite the commit fails on a disk of the store's own that the test fills up, which only root may mount.
    void storeFailureKeepsNothing_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("secret");
        // The write the trigger fails, whether it fails as the sync commits, and what the log says of the failure.
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("atCommit");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const char* table, const char* column, const char* secret,
                            const char* event, bool atCommit, const char* said) {
            QTest::newRow(name) << QString(table) << QString(column) << QString(secret) << QString(event) << atCommit
                                << QString(said);
        };
        const char* const statementFailed = "store: error ";
        row("a sync's record", "records", "data", "secret-title", "insert", false, statementFailed);
        row("a sign-up's account", "accounts", "name", "secret-name", "insert", false, statementFailed);
        row("feedback", "feedback", "content", "secret-content", "insert", false, statementFailed);
        row("a sync's commit", "records", "data", "secret-commit", "insert", true, statementFailed);
        row("an upgrade's count of the records' sizes", "records", "data", "secret-size", "update", false,
            "counting the sizes of its records again: ");
    }

    void storeFailureKeepsNothing()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, secret);
        QFETCH(QString, event);
        QFETCH(bool, atCommit);
        QFETCH(QString, said);
        const bool diskFills = atCommit && !ServiceProcess::onPostgreSql();
        if (diskFills && geteuid() != 0)
            QSKIP("only root may mount a disk of the test's own");
        const QTemporaryDir folder;
        std::optional<TestMount> disk;
        std::optional<ServiceProcess> own;
        ServiceProcess* service = &m_service;
        if (diskFills) {
            disk.emplace(TestMount::SmallDisk, folder.path(), 16);
            QVERIFY(disk->isMounted());
            service = &own.emplace(QStringList(), "sqlite:" + folder.filePath("service.db"));
        }
        const bool upgrade = event == "update";
        const QString user = upgrade ? QString("owner") : newAccount(service);
        // The record of 1 MB that fails as it is committed takes more than the room the full disk keeps.
        const QByteArray title = secret.toUtf8() + QByteArray(atCommit ? 1 << 20 : 0, 't');
        const QByteArray secretRecord =
            "[\"Z\",\"a\",\"" + stamp(0) + "\"],[\"zz\",\"" + title + "\",\"" + stamp(0) + "\"]";
        if (upgrade)
            QVERIFY(!earlierStore(2, [&] {
                         return sync(user, changeSet(secretRecord), m_earlier.get()).startsWith('[');
                     }).isEmpty());
        const ServiceProcess& storeOwner = upgrade ? *m_earlier : *service;
        const QString name = QString(secret).replace('-', '_');
        const QString when = QString("new.%1 like '%%2%'").arg(column, secret);
        const QStringList sqlite{QString("create trigger %1 before %2 on %3 when %4 "
                                         "begin select raise(abort, 'injected %5'); end")
                                     .arg(name, event, table, when, secret)};
        const QStringList postgreSql{
            QString("create function %1() returns trigger language plpgsql as $$ begin if %2 then raise exception "
                    "'injected %', new.%3 using errcode = '%4'; end if; return new; end $$")
                .arg(name, when, column, atCommit ? "disk_full" : "raise_exception"),
            QString("create %1 trigger %2 after %3 on %4 %5 for each row execute function %2()")
                .arg(atCommit ? "constraint" : "", name, event, table,
                     atCommit ? "deferrable initially deferred" : "")};
        if (diskFills)
            disk->fill(256 * 1024);
        else
            QVERIFY(storeOwner.execOnStore(ServiceProcess::onPostgreSql() ? postgreSql : sqlite));
        const qsizetype logged = service->log().size();
        QByteArray log;
        if (upgrade) {
            ServiceProcess refused({}, storeOwner.database());
            QCOMPARE(refused.exitCode(), 1);
            log = refused.log();
            QVERIFY(storeOwner.execOnStore(
                {"drop trigger " + name + QString(ServiceProcess::onPostgreSql() ? " on records" : "")}));
            ServiceProcess upgrading({}, storeOwner.database());
            QCOMPARE(stateOfZ(sync(user, changeSet(""), &upgrading)), QString("a 00"));
        } else if (table == "records") {
            QCOMPARE(mapOf(sync(user, changeSet(secretRecord), service)).value("error").toInt(), 3);
            if (disk)
                disk->clear();
            QCOMPARE(stateOfZ(sync(user, changeSet(""), service)), QString("absent"));
        } else if (table == "accounts") {
            const HttpHelper::Form account{{"username", secret}, {"password", "password12"}};
            QVERIFY(post("", account).contains("账号未能保存"));
            QVERIFY(!mapOf(post("sync/userid.php", account)).contains("id"));
        } else {
            QVERIFY(!post("client/feedback.php", {{"email", "a@b.cc"}, {"subject", "s"}, {"content", secret}})
                         .contains("success"));
        }
        if (!upgrade)
            log = service->log().mid(logged);
        QVERIFY2(log.contains(said.toUtf8()), log.constData());
        QVERIFY2(!log.contains(secret.toUtf8()), log.constData());
        const qsizetype commitFailed = log.indexOf("(the disk is full) in \"commit\"");
        QVERIFY2(!atCommit || (commitFailed >= 0 && commitFailed < log.indexOf("a sync was not stored")),
                 log.constData());
    }

    // Requests whose body or head the HTTP library would read whole before anything could refuse them.
    void refusesWhatItWouldHoldWhole_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        const QByteArray chunk = "Transfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n";
        QTest::newRow("head over 64 KB") << "GET /weibo HTTP/1.1\r\nX: " + QByteArray(70000, 'x') + "\r\n\r\n"
                                         << QByteArray("400");
        QTest::newRow("body of another method") << "PUT /sync/syncpc2.php HTTP/1.1\r\n" + chunk << QByteArray("405");
        QTest::newRow("post without a length")
            << QByteArray("POST /sync/userid.php HTTP/1.1\r\n\r\n") << QByteArray("411");
        // The program always sends a length: a body in chunks is refused before its first chunk is read, the more so
        // one whose size line never ends.
        QTest::newRow("body in chunks") << "POST /sync/syncpc2.php HTTP/1.1\r\n" + chunk << QByteArray("411");
        QTest::newRow("chunk size line without end")
            << "POST /sync/syncpc2.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;" + QByteArray(1000000, 'x')
            << QByteArray("411");
        QTest::newRow("post to an unknown path")
            << QByteArray("POST /elsewhere HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n") << QByteArray("404");
    }

    void refusesWhatItWouldHoldWhole()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        const QByteArray answer = RawHttp::exchange(m_service.baseUrl(), request);
        QCOMPARE(answer.mid(9, 3), status);
    }

    void listensOnTheAddressGiven()
    {
        // The test holds the port on another loopback address for the whole test, so that no other process can
        // answer there: a service listening on every address could not take the port at all.
        QTcpServer elsewhere;
        QVERIFY(elsewhere.listen(QHostAddress::LocalHost));
        const QString port = QString::number(elsewhere.serverPort());
        ServiceProcess service({"--listen", "127.0.0.2", "--port", port});
        QCOMPARE(service.baseUrl(), "http://127.0.0.2:" + port + "/");
        QVERIFY(get(service.baseUrl() + "weibo").contains("<html"));
    }
    // Posts in order, each as "from e-mail content kept": the client address, the lengths of its e-mail and content,
    // and "+" when the service keeps it.
    void limitsFeedback_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("posts");
        QTest::newRow("per address and per hour")
            << QStringList{"--feedback-per-address", "2", "--feedback-per-hour", "3"}
            << QStringList{"127.0.0.1 6 8388608 -", "127.0.0.1 6 65536 -", "127.0.0.1 65536 10 -",
                           "127.0.0.1 6 61440 +",   "127.0.0.1 6 10 +",    "127.0.0.1 6 10 -",
                           "127.0.0.2 6 10 +",      "127.0.0.3 6 10 -"};
        QTest::newRow("kept in all") << QStringList{"--feedback-store-limit", "150"}
                                     << QStringList{"127.0.0.1 6 61440 +", "127.0.0.2 61440 6 +", "127.0.0.3 6 61440 -",
                                                    "127.0.0.3 6 10 +"};
    }

    void limitsFeedback()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, posts);
        ServiceProcess service(arguments);
        for (const QString& line : posts) {
            const QStringList fields = line.split(' ');
            const QString email(fields.at(1).toInt(), 'e');
            const QByteArray body = HttpHelper::encodeForm(
                {{"email", email}, {"subject", "FNK PC 反馈"}, {"content", QString(fields.at(2).toInt(), 'x')}});
            const QByteArray answer =
                RawHttp::exchange(service.baseUrl(), RawHttp::formPost("client/feedback.php", body), fields.at(0));
            QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|"), answer.left(100));
            QVERIFY2(answer.contains("success") == (fields.at(3) == "+"), qPrintable(line));
        }
        QVERIFY(!post("client/feedback.php", {{"email", "a@b.cc"}, {"subject", "s"}}, &service).contains("success"));
    }

    // Sign-ups in order, each as "from origin kept": the client address, the site its Origin header names ("-" for
    // none, "own" for the service's own) and "+" when an account is made.
    void limitsSignUps()
    {
        ServiceProcess service({"--signups-per-address", "2", "--signups-per-hour", "3"});
        const QStringList signups{"127.0.0.1 http://elsewhere.example -",
                                  "127.0.0.1 own +",
                                  "127.0.0.1 - +",
                                  "127.0.0.1 - -",
                                  "127.0.0.2 - +",
                                  "127.0.0.3 - -"};
        for (int i = 0; i < signups.size(); ++i) {
            const QStringList fields = signups.at(i).split(' ');
            const QString origin = fields.at(1) == "own" ? service.baseUrl().chopped(1) : fields.at(1);
            const QString name = QString("new%1").arg(i);
            const QByteArray page = RawHttp::exchange(
                service.baseUrl(),
                RawHttp::formPost("", "username=" + name.toUtf8() + "&password=password",
                                  origin == "-" ? QByteArray() : "Origin: " + origin.toUtf8() + "\r\n"),
                fields.at(0));
            const bool kept = fields.at(2) == "+";
            QVERIFY2(page.contains("注册成功") == kept, qPrintable(signups.at(i)));
            const QVariantMap answer =
                mapOf(post("sync/userid.php", {{"username", name}, {"password", "password"}}, &service));
            QCOMPARE(answer.contains("id"), kept);
        }
    }

    // Behind a proxy that passes on a Host of its own, the service's page seems another site's: the sign-up is
    // refused, and the operator is told both addresses and the option that names the page's.
    void signUpBehindAProxyTellsTheOperator()
    {
        ServiceProcess service({"--trusted-proxy", "127.0.0.5"});
        const QByteArray page =
            RawHttp::exchange(service.baseUrl(),
                              RawHttp::formPost("", "username=proxied&password=password",
                                                "Origin: http://127.0.0.1:8080\r\nX-Forwarded-For: 127.0.0.9\r\n"),
                              "127.0.0.5");
        QVERIFY2(page.contains("请在本站的注册页面注册"), page.constData());
        // Written before the page is sent.
        QVERIFY2(service.log().contains("warning: a sign-up from 127.0.0.9 was refused as made on another site: its "
                                        "page was at http://127.0.0.1:8080, and the request came for 127.0.0.1; if "
                                        "the service's page is served there, give that address with --public-url\n"),
                 service.log().constData());
    }

    // Sign-ups under way from one address count against its limit while they are stored: three from one address at
    // once, each held in the store once its limits are counted, never pass a limit of two together. (On SQLite the
    // store writes one statement at a time, so that its own count holds the limit.)
    void signUpsUnderWayCountAgainstTheLimit()
    {
        if (!ServiceProcess::onPostgreSql())
            QSKIP("SQLite stores one sign-up at a time");
        ServiceProcess service({"--workers", "3", "--signups-per-address", "2", "--key-iterations", "100000"});
        SignupGate gate(QUrl(service.database()).path().mid(1));
        // Each worker opens its connection to the store on its first request, making what the store lacks, which
        // would wait behind sign-ups held at the gate: slow logins, three at a time, have every worker open it first.
        for (int round = 0; round < 20 && gate.storeConnections() < 3; ++round) {
            std::vector<std::unique_ptr<QTcpSocket>> logins;
            for (int i = 0; i < 3; ++i)
                logins.push_back(RawHttp::sent(service.baseUrl(),
                                               RawHttp::formPost("sync/userid.php", "username=nobody&password=pw"),
                                               QString("127.0.0.%1").arg(10 + 3 * round + i)));
            for (const auto& login : logins)
                RawHttp::answer(*login);
        }
        QCOMPARE(gate.storeConnections(), 3);
        QVERIFY(gate.close());
        std::vector<std::unique_ptr<QTcpSocket>> signUps;
        for (int i = 0; i < 3; ++i)
            signUps.push_back(
                RawHttp::sent(service.baseUrl(),
                              RawHttp::formPost("", "username=new" + QByteArray::number(i) + "&password=password")));
        const auto answered = [&signUps] {
            int count = 0;
            // What came may still be in the system's hands, or already read into the socket's buffer.
            for (const auto& signUp : signUps) {
                pollfd answer{int(signUp->socketDescriptor()), POLLIN, 0};
                count += signUp->bytesAvailable() > 0 || poll(&answer, 1, 0) > 0 ? 1 : 0;
            }
            return count;
        };
        // Two wait at the gate, and the third is refused at once; were the two not counted, it would wait there too.
        QTRY_VERIFY_WITH_TIMEOUT(gate.waiting() + answered() == 3, 60000);
        QVERIFY(gate.open());
        int made = 0;
        for (const auto& signUp : signUps)
            made += RawHttp::answer(*signUp).contains("注册成功") ? 1 : 0;
        QCOMPARE(made, 2);
    }

    void offersUpdateOnlyWithAnInstaller_data()
    {
        QTest::addColumn<bool>("installer");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("base");
        QTest::newRow("installer") << true << QStringList() << QString();
        QTest::newRow("installer at a public address")
            << true << QStringList{"--public-url", "https://sync.example.org/qb"} << "https://sync.example.org/qb/";
        QTest::newRow("no installer") << false << QStringList() << QString();
    }

    void offersUpdateOnlyWithAnInstaller()
    {
        QFETCH(bool, installer);
        QFETCH(QStringList, arguments);
        QFETCH(QString, base);
        QTemporaryDir dir;
        arguments += QStringList{"--offer-version", "45", "--offer-name", "<i>2.3</i>"};
        // An installer the program would accept, made for the test.
        QFile file(dir.filePath("setup.exe"));
        if (installer) {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(5242880));
            arguments << "--installer" << file.fileName();
        }
        ServiceProcess service(arguments);
        // A Host header of the client's choosing names none of the addresses offered.
        const QByteArray check = RawHttp::exchange(
            service.baseUrl(), "GET /client/pc.php?ver=44 HTTP/1.1\r\nHost: attacker.example\r\n\r\n");
        const QVariantMap offer = mapOf(check.mid(check.indexOf('|') + 1));
        const QString url =
            installer ? (base.isEmpty() ? service.baseUrl() : base) + "download/quillbay-setup.exe" : "";
        QCOMPARE(offer.value("vercode").toInt(), installer ? 45 : 44);
        QCOMPARE(offer.value("url1").toString(), url);
        QCOMPARE(offer.value("url2").toString(), url);
        const QByteArray download = get(service.baseUrl() + "download/quillbay-setup.exe");
        QCOMPARE(download, installer ? QByteArray(5242880, '\0') : QByteArray("HTTP error"));
        const QByteArray news = get(service.baseUrl() + "weibo");
        QCOMPARE(news.contains("Quillbay 2.3") || news.contains("&lt;i&gt;2.3&lt;/i&gt;"), installer);
        QVERIFY(news.contains("<ul") && !news.contains("<i>"));
    }

    // A worker's connection that the server ends, or loses to a restart of the server, between syncs or while a sync
    // is being written, is opened again for the next request with every statement it keeps, read or write, prepared
    // anew on it: a sync under way fails with nothing written, every later one is served and written, and the service
    // stops as it should. A trigger holds the sync under way in its writing until its connection goes. So is one that
    // a relay between stalls, holding back its bytes with both its sockets open, as a failover that moves the server's
    // address does, or a proxy that keeps the socket up: between syncs, the next sync's look at the store gives it up
    // once it has waited past its bound (2 s here) and the sync is served on a new one; in a sync's write, or as a
    // sign-in reads the account, the sync fails once that bound is past, as store work that failed: never told that
    // its password is wrong. And so is one that the relay cuts in a sync's write without a word from the server: the
    // sync fails, never told it was stored.
    void reconnectsToTheDatabase_data()
    {
        QTest::addColumn<Loss>("loss");
        QTest::addColumn<LossAt>("at");
        QTest::newRow("its connections ended between syncs") << Loss::Ended << LossAt::BetweenSyncs;
        QTest::newRow("its connections ended during a sync") << Loss::Ended << LossAt::InAWrite;
        QTest::newRow("the server restarted during a sync") << Loss::Restarted << LossAt::InAWrite;
        QTest::newRow("its connection stalled between syncs") << Loss::Stalled << LossAt::BetweenSyncs;
        QTest::newRow("its connection stalled in a sync's write") << Loss::Stalled << LossAt::InAWrite;
        QTest::newRow("its connection stalled as a sign-in reads the account") << Loss::Stalled << LossAt::InASignIn;
        QTest::newRow("its connection cut in a sync's write") << Loss::Cut << LossAt::InAWrite;
    }

    void reconnectsToTheDatabase()
    {
        QFETCH(Loss, loss);
        QFETCH(LossAt, at);
        if (!ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store has no connection to lose");
        // pg_virtualenv names the version of the cluster it made, which pg_ctlcluster restarts.
        const QString version = qEnvironmentVariable("PGVERSION");
        if (loss == Loss::Restarted && version.isEmpty())
            QSKIP("the database server is not a throw-away cluster of pg_virtualenv's");
        const QTemporaryDir folder;
        const TestStore store(folder.filePath("service.db"));
        std::optional<StoreRelay> relay;
        // One worker, so that the next sync comes to the connection that was lost.
        QStringList options{"--workers", "1"};
        if (loss == Loss::Stalled || loss == Loss::Cut) {
            relay.emplace(store.address());
            options << "--store-timeout"
                    << "2";
        }
        ServiceProcess service(options, relay ? relay->address() : store.address());
        QVERIFY(service.addAccount("family", "pw"));
        QVERIFY(mapOf(sync("family", uploadOf("b 01"), &service)).isEmpty());
        const QString endConnections = "select pg_terminate_backend(pid) from pg_stat_activity "
                                       "where datname = current_database() and pid <> pg_backend_pid()";
        if (relay && at == LossAt::BetweenSyncs) {
            relay->stallOpenConnections();
        } else if (relay) {
            // The upload's title goes to the server in its write alone, and the account's name first as the account is
            // read.
            relay->arm(StoreRelay::Toward::Server, at == LossAt::InAWrite ? "held" : "family",
                       loss == Loss::Stalled ? StoreRelay::Fault::Stall : StoreRelay::Fault::Cut);
            QCOMPARE(mapOf(sync("family", uploadOf("held 09"), &service)).value("error").toInt(), 3);
            QVERIFY(relay->struck());
            // The server lets go of what the lost connection held, the account's lock among it, once the relay has
            // passed the end of the connection on.
            {
                const QSqlDatabase watcher = storeConnection("watcher", service);
                QTRY_COMPARE_WITH_TIMEOUT(count(watcher, "select count(*) from pg_stat_activity where datname = "
                                                         "current_database() and state like 'idle in transaction%'"),
                                          0, 30000);
            }
            QSqlDatabase::removeDatabase("watcher");
        } else if (at == LossAt::InAWrite) {
            QVERIFY(service.execOnStore(
                {"create function hold_writes() returns trigger language plpgsql as "
                 "$$ begin perform pg_sleep(120); return new; end $$",
                 "create trigger hold_writes before insert on records for each row execute function hold_writes()"}));
            QNetworkReply* held =
                m_manager.post(formRequest("sync/syncpc2.php", &service), syncBody("family", uploadOf("e 09")));
            {
                QSqlDatabase watcher = storeConnection("watcher", service);
                const auto holding = [&watcher] {
                    QSqlQuery query(watcher);
                    return query.exec("select count(*) from pg_stat_activity where wait_event = 'PgSleep'") &&
                           query.next() && query.value(0).toInt() == 1;
                };
                QTRY_VERIFY_WITH_TIMEOUT(holding(), 30000);
                // Stopped and started as pg_ctlcluster's restart would, which on a loaded machine may take the
                // server for stopped already and leave it down.
                if (loss == Loss::Restarted) {
                    QCOMPARE(QProcess::execute("pg_ctlcluster", {version, "regress", "stop", "-m", "fast"}), 0);
                    QCOMPARE(QProcess::execute("pg_ctlcluster", {version, "regress", "start"}), 0);
                } else {
                    QVERIFY(QSqlQuery(watcher).exec(endConnections));
                }
            }
            QSqlDatabase::removeDatabase("watcher");
            QCOMPARE(mapOf(answer(held)).value("error").toInt(), 3);
            QVERIFY(service.execOnStore({"drop trigger hold_writes on records"}));
        } else {
            QVERIFY(service.execOnStore({endConnections}));
        }
        // The newer edit is written; the one under way when the connection went was not.
        const QByteArray written = sync("family", uploadOf("d 03"), &service);
        QCOMPARE(billEntry(written).value("table_name").toString(), QString("bill"));
        QCOMPARE(stateOfZ(written), QString("absent"));
        QCOMPARE(stateOfZ(sync("family", changeSet(""), &service)), QString("d 03"));
        // The older edit loses to the stored one, which the answer carries back.
        QCOMPARE(stateOfZ(sync("family", uploadOf("a 00"), &service)), QString("d 03"));
        // Every statement was prepared on the new connection before it ran there: none was found unknown to it.
        QVERIFY2(!service.log().contains("store: error 26000"), service.log().constData());
        QVERIFY2(service.log().contains("store connection given up") == (loss == Loss::Stalled),
                 service.log().constData());
        service.stop();
    }

    void keepsTheStoreToItsOwner()
    {
        if (ServiceProcess::onPostgreSql())
            QSKIP("a PostgreSQL store lies in the database server's files");
        QTemporaryDir dir;
        const QString file = dir.filePath("store/service.db");
        // Whatever the umask, in write-ahead-log mode too, where SQLite keeps two more files open, and for a store
        // that an earlier version left readable.
        const mode_t umaskBefore = umask(0);
        ServiceProcess first({}, "sqlite:" + file);
        QVERIFY(first.execOnStore({"pragma journal_mode=wal"}));
        QVERIFY(QFile::setPermissions(file, QFile::permissions(file) | QFile::ReadOther));
        ServiceProcess second({}, first.database());
        QVERIFY(RawHttp::exchange(second.baseUrl(), RawHttp::formPost("", "username=u&password=password"))
                    .contains("注册成功"));
        umask(umaskBefore);
        const auto mode = [](const QString& path) {
            struct stat status = {};
            return stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
        };
        QCOMPARE(mode(dir.filePath("store")), 0700);
        for (const char* suffix : {"", "-wal", "-shm"})
            QCOMPARE(mode(file + suffix), 0600);
    }

    // Options whose values the service cannot use are refused at start, each by its value and with what it takes,
    // on a line of its own, and the service exits having made nothing, its store neither, nor changed the mode or the
    // bytes of anything it found; an empty list of refusals for options it starts with. A folder for the service's
    // files, or for its SQLite store, is refused when it is a file or on one, when it is on a read-only disk
    // ("{read-only}", which the test mounts) or on /proc, which takes no files even from root, and when its path is
    // empty, which would be the current folder; a store's address, when it is empty or names another database, or an
    // SQLite file that is a folder or named as one, or a file that is not a store the service made (in "{folder}", a
    // folder of the test's: "notes.txt", "fifo", "empty", "garbage.db", SQLite's header and garbage, "book.db", a
    // book of the program, "nothing.db", an SQLite database without a table, "earlier.db", a store of an earlier
    // version to which the operator added an index and a trigger, and "viewed.db" a view, and "notes.db", another
    // program's, and "logged.db" and "unindexed.db", whose table lies in the write-ahead log beside it, with and
    // without the log's index). The default store, service.db in the data folder, and the folder of answers the service makes there are
    // refused as the data folder (in "{folder}/store-of-text", "{folder}/store-of-notes" and
    // "{folder}/answers-of-text"). An address the service cannot listen on is refused before the store is opened: a
    // port in use ("{busy}", which the test holds), or an address that is not this computer's. A PostgreSQL address of
    // the other scheme is taken, and so is one that names a pooler's mode the service can be served in, each refused
    // only as the store cannot be reached there, as are a database or a user the server does not know and a wrong
    // password ("{postgresql}", the test run's server, which only the _postgresql test has): on one line naming the
    // step and what went wrong, with the server's code. One with a parameter of libpq's connection string, which the
    // service would ignore, is refused.
    void refusesUnusableOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("refusals");
        // Whether the service keeps its default store, service.db in its data folder, instead of the test run's.
        QTest::addColumn<bool>("defaultStore");
        const auto row = [](const char* name, const QStringList& arguments, const QStringList& refusals = {},
                            bool defaultStore = false) { QTest::newRow(name) << arguments << refusals << defaultStore; };
        row("request memory that a 1 MB body outgrows", {"--request-memory", "0"},
            {"--request-memory 0: takes a whole number from 1 to 1048576: a body of 1 MB"});
        row("request memory that a 1 MB body fits", {"--request-memory", "1"});
        row("room for small requests that leaves a 1 MB body none",
            {"--request-memory", "4", "--small-request-memory", "4"},
            {"--small-request-memory 4: takes a whole number from 0 to 3: one less than --request-memory"});
        row("room for small requests that leaves a 1 MB body room",
            {"--request-memory", "4", "--small-request-memory", "3"});
        row("no worker", {"--workers", "0"}, {"--workers 0: takes a whole number from 1 to 1024"});
        row("more workers than any computer gains by", {"--workers", "5000"},
            {"--workers 5000: takes a whole number from 1 to 1024"});
        row("cheap workers that leave expensive requests none", {"--workers", "8", "--cheap-workers", "8"},
            {"--cheap-workers 8: takes a whole number from 0 to 7: one less than --workers"});
        row("cheap workers below none", {"--workers", "8", "--cheap-workers", "-1"},
            {"--cheap-workers -1: takes a whole number from 0 to 7: one less than --workers"});
        row("cheap workers as no number, before the workers", {"--cheap-workers", "many", "--workers", "4"},
            {"--cheap-workers many: takes a whole number from 0 to 3: one less than --workers"});
        row("cheap workers that leave expensive requests one", {"--workers", "8", "--cheap-workers", "7"});
        row("no connection", {"--max-connections", "0"},
            {"--max-connections 0: takes a whole number from 16 to 100000000"});
        row("one connection", {"--max-connections", "1"}, {"--max-connections 1: takes a whole number from 16"});
        row("one connection short of the fewest", {"--max-connections", "15"},
            {"--max-connections 15: takes a whole number from 16"});
        row("the fewest connections", {"--max-connections", "16"});
        const QString wait = "takes a whole number from 1 to 59: less than the 60 seconds the program waits";
        row("no wait for room or a turn", {"--large-request-wait", "0"}, {"--large-request-wait 0: " + wait});
        row("a wait of a second", {"--large-request-wait", "1"});
        row("the longest wait", {"--large-request-wait", "59"});
        row("a wait as long as the program's", {"--large-request-wait", "60"}, {"--large-request-wait 60: " + wait});
        row("a wait of days", {"--large-request-wait", "100000"}, {"--large-request-wait 100000: " + wait});
        row("no wait for the store", {"--store-timeout", "0"}, {"--store-timeout 0: " + wait});
        row("a wait for the store as long as the program's", {"--store-timeout", "60"},
            {"--store-timeout 60: " + wait});
        row("no sign-ups", {"--signups-per-hour", "0"});
        row("a port past the last", {"--port", "65536"}, {"--port 65536: takes a whole number from 0 to 65535"});
        row("a port past the last, then a good one", {"--port", "70000", "--port", "8000"},
            {"--port 70000: takes a whole number from 0 to 65535"});
        row("a port past the last, given with its name", {"--port=70000"},
            {"--port 70000: takes a whole number from 0 to 65535"});
        row("a name to listen on", {"--listen", "localhost"}, {"--listen localhost: takes an IP address"});
        row("a proxy by name before one by address", {"--trusted-proxy", "proxy", "--trusted-proxy", "127.0.0.5"},
            {"--trusted-proxy proxy: takes an IP address"});
        row("a public address of another scheme", {"--public-url", "ftp://127.0.0.1/qb/"},
            {"--public-url ftp://127.0.0.1/qb/: takes an http or https address"});
        row("an installer the program would refuse", {"--installer", QUILLBAY_SOURCE_DIR "/README.md"},
            {"--installer " QUILLBAY_SOURCE_DIR "/README.md: takes a readable file of at least 5 MB"});
        row("a disk reserve below none", {"--answer-disk-reserve", "-1"},
            {"--answer-disk-reserve -1: takes a whole number from 0"});
        row("an empty time", {"--head-timeout", ""}, {"--head-timeout '': takes a whole number from 1"});
        row("two at once", {"--idle-timeout", "soon", "--feedback-store-limit", "2147483648"},
            {"--idle-timeout soon: takes a whole number from 1",
             "--feedback-store-limit 2147483648: takes a whole number from 0 to 2147483647"});
        const QString file = QUILLBAY_SOURCE_DIR "/README.md";
        const QString folder = "takes a folder the service can write in or make: ";
        const QString readOnly = "cannot write in {read-only}: " + qt_error_string(EROFS);
        row("a data folder that is a file", {"--data", file},
            {"--data " + file + ": " + folder + file + " is not a folder"});
        row("a data folder in a file", {"--data", file + "/data"},
            {"--data " + file + "/data: " + folder + file + " is not a folder"});
        row("a data folder on a read-only disk", {"--data", "{read-only}/data"},
            {"--data {read-only}/data: " + folder + readOnly});
        row("a data folder on /proc", {"--data", "/proc/quillbay/data"},
            {"--data /proc/quillbay/data: " + folder + "cannot write in /proc: "});
        row("a data folder whose folder of answers is a file", {"--data", "{folder}/answers-of-text"},
            {"--data {folder}/answers-of-text: " + folder + "{folder}/answers-of-text/answers is not a folder"});
        const QString defaultStore = "takes a folder whose service.db is a store of the service's, an empty file or "
                                     "none: {folder}/";
        row("a data folder whose store is a text file", {"--data", "{folder}/store-of-text"},
            {"--data {folder}/store-of-text: " + defaultStore + "store-of-text/service.db is no SQLite store"}, true);
        row("a data folder whose store is another program's database", {"--data", "{folder}/store-of-notes"},
            {"--data {folder}/store-of-notes: " + defaultStore +
             "store-of-notes/service.db is another database: it holds the table notes, which the service never makes"},
            true);
        row("an empty data folder", {"--data", ""},
            {"--data '': " + folder + "an empty path would be the current folder"});
        row("an empty store address", {"--database", ""},
            {"--database '': takes sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE: an empty address names no "
             "store (without --database the store is service.db in --data)"});
        row("a store of another database", {"--database", "mysql://x/y"},
            {"--database mysql://x/y: takes sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE"});
        row("an SQLite store without a path", {"--database", "sqlite:"},
            {"--database sqlite:: takes sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE"});
        // libpq's own words, after the step, may be in the language of the test's locale.
        const QString connecting = ": connecting to its database: ";
        row("a PostgreSQL store of the other scheme, on a port that refuses connections",
            {"--database", "postgres://127.0.0.1:1/quillbay"},
            {"cannot open the store postgres://127.0.0.1:1/quillbay" + connecting});
        row("a PostgreSQL database that does not exist", {"--database", "{postgresql}/nodb"},
            {"cannot open the store {postgresql}/nodb" + connecting + "the database does not exist (3D000)"});
        // A server that asks for passwords refuses a user it does not know as it refuses a wrong password.
        row("a PostgreSQL user that does not exist", {"--database", "{postgresql-stranger}/postgres"},
            {"cannot open the store {postgresql-stranger}/postgres" + connecting +
             "the database server refused the user"});
        row("a wrong PostgreSQL password", {"--database", "{postgresql-wrong}/postgres"},
            {"cannot open the store {postgresql}/postgres" + connecting +
             "the database server refused the user's password (28P01)"});
        const QString parameters = "takes no parameter but pool_mode=session or pool_mode=transaction, the mode of a "
                                   "pooler in front of the database: ";
        row("a PostgreSQL store with another of libpq's settings",
            {"--database", "postgresql://127.0.0.1:1/quillbay?sslmode=require"},
            {"--database postgresql://127.0.0.1:1/quillbay?sslmode=require: " + parameters + "sslmode is not one"});
        row("a PostgreSQL store behind a pooler in statement mode",
            {"--database", "postgresql://127.0.0.1:1/quillbay?pool_mode=statement"},
            {"--database postgresql://127.0.0.1:1/quillbay?pool_mode=statement: " + parameters +
             "a pooler in statement mode refuses the transactions the service writes in"});
        row("a PostgreSQL store behind a pooler in a mode given twice",
            {"--database", "postgresql://127.0.0.1:1/quillbay?pool_mode=session&pool_mode=transaction"},
            {"--database postgresql://127.0.0.1:1/quillbay?pool_mode=session&pool_mode=transaction: " + parameters +
             "pool_mode is given twice"});
        row("a PostgreSQL store behind a pooler in transaction mode",
            {"--database", "postgresql://127.0.0.1:1/quillbay?pool_mode=transaction"},
            {"cannot open the store postgresql://127.0.0.1:1/quillbay?pool_mode=transaction" + connecting});
        const QString sqliteFile = "takes sqlite:PATH of a file: ";
        row("an SQLite store that is a folder", {"--database", "sqlite:{folder}"},
            {"--database sqlite:{folder}: " + sqliteFile + "{folder} is a folder"});
        row("an SQLite store in a folder to make, named as a folder", {"--database", "sqlite:{folder}/new/"},
            {"--database sqlite:{folder}/new/: " + sqliteFile + "{folder}/new/ names a folder"});
        row("an SQLite store that is a text file", {"--database", "sqlite:{folder}/notes.txt"},
            {"--database sqlite:{folder}/notes.txt: " + sqliteFile + "{folder}/notes.txt is no SQLite store"});
        row("an SQLite store that is a pipe", {"--database", "sqlite:{folder}/fifo"},
            {"--database sqlite:{folder}/fifo: " + sqliteFile + "{folder}/fifo is no plain file"});
        row("an SQLite store that is an empty file", {"--database", "sqlite:{folder}/empty"});
        row("an SQLite store that holds nothing", {"--database", "sqlite:{folder}/nothing.db"});
        row("an SQLite store of an earlier version, with an index and a trigger of the operator's",
            {"--database", "sqlite:{folder}/earlier.db"});
        row("an SQLite store of an earlier version, with a view of the operator's",
            {"--database", "sqlite:{folder}/viewed.db"},
            {"--database sqlite:{folder}/viewed.db: " + sqliteFile +
             "{folder}/viewed.db is another database: it holds the view names, which the service never makes"});
        row("an SQLite file of garbage after SQLite's header", {"--database", "sqlite:{folder}/garbage.db"},
            {"--database sqlite:{folder}/garbage.db: " + sqliteFile +
             "{folder}/garbage.db cannot be read as an SQLite store: file is not a database (SQLite's code 26)"});
        const QString notes = "is another database: it holds the table notes, which the service never makes";
        row("an SQLite store that is another program's database", {"--database", "sqlite:{folder}/notes.db"},
            {"--database sqlite:{folder}/notes.db: " + sqliteFile + "{folder}/notes.db " + notes});
        row("an SQLite store that is another program's database, its table in the log beside it",
            {"--database", "sqlite:{folder}/logged.db"},
            {"--database sqlite:{folder}/logged.db: " + sqliteFile + "{folder}/logged.db " + notes});
        row("an SQLite store that is another program's database, its table in the log beside it without its index",
            {"--database", "sqlite:{folder}/unindexed.db"},
            {"--database sqlite:{folder}/unindexed.db: " + sqliteFile + "{folder}/unindexed.db " + notes});
        row("an SQLite store that is a book of the program", {"--database", "sqlite:{folder}/book.db"},
            {"--database sqlite:{folder}/book.db: " + sqliteFile +
             "{folder}/book.db is another database: it holds the table android_metadata, the table tbl_account, the "
             "table tbl_account_deleted and "});
        const QString sqliteFolder = "takes sqlite:PATH in a folder the service can write in or make: ";
        row("an SQLite store in a file", {"--database", "sqlite:" + file + "/service.db"},
            {"--database sqlite:" + file + "/service.db: " + sqliteFolder + file + " is not a folder"});
        row("an SQLite store on a read-only disk", {"--database", "sqlite:{read-only}/service.db"},
            {"--database sqlite:{read-only}/service.db: " + sqliteFolder + readOnly});
        row("an SQLite store on /proc", {"--database", "sqlite:/proc/quillbay/service.db"},
            {"--database sqlite:/proc/quillbay/service.db: " + sqliteFolder + "cannot write in /proc: "});
        row("a port in use", {"--port", "{busy}"}, {"--port {busy}: is in use on 127.0.0.1: "});
        row("an address of another computer", {"--listen", "192.0.2.1"},
            {"--listen 192.0.2.1: takes an address of this computer: "});
    }

    void refusesUnusableOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, refusals);
        QFETCH(bool, defaultStore);
        QTemporaryDir readOnlyFolder;
        std::optional<TestMount> readOnlyDisk;
        if (arguments.join('\n').contains("{read-only}")) {
            if (!readOnlyDisk.emplace(TestMount::ReadOnlyDisk, readOnlyFolder.path()).isMounted())
                QSKIP("a read-only disk needs root to mount");
        }
        if (arguments.join('\n').contains("{postgresql") && !ServiceProcess::onPostgreSql())
            QSKIP("a PostgreSQL server's refusals need one: the _postgresql test runs these");
        QTemporaryDir folder;
        const auto make = [&folder](const QString& name, const QByteArray& content) {
            QFile file(folder.filePath(name));
            return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
                   file.write(content) == content.size();
        };
        QVERIFY(make("notes.txt", "a text file\n") && make("empty", "") &&
                make("store-of-text/service.db", "notes\n") && make("answers-of-text/answers", "notes\n") &&
                make("garbage.db", QByteArray("SQLite format 3", 16) + QByteArray(4080, 'g')));
        QVERIFY(BookFile::createFromInitial(folder.filePath("book.db")));
        QVERIFY(QDir().mkpath(folder.filePath("store-of-notes")));
        QVERIFY(notesDatabase(folder.filePath("notes.db")) && notesDatabase(folder.filePath("store-of-notes/service.db")) &&
                notesDatabase(folder.filePath("logged.db"), {"-wal", "-shm"}) &&
                notesDatabase(folder.filePath("unindexed.db"), {"-wal"}) &&
                TestStore::exec("sqlite:" + folder.filePath("nothing.db"), {"pragma user_version = 1"}));
        const QStringList earlier{"create table accounts (name text primary key, user_id text not null unique, salt text "
                                  "not null, iterations integer not null, hash text not null)",
                                  "create index accounts_by_hash on accounts (hash)",
                                  "create trigger accounts_kept before delete on accounts begin select 1; end"};
        QVERIFY(TestStore::exec("sqlite:" + folder.filePath("earlier.db"), earlier) &&
                TestStore::exec("sqlite:" + folder.filePath("viewed.db"),
                                earlier + QStringList{"create view names as select name from accounts"}));
        QCOMPARE(mkfifo(QFile::encodeName(folder.filePath("fifo")).constData(), 0644), 0);
        QTcpServer busy;
        QVERIFY(busy.listen(QHostAddress::LocalHost));
        const QString server = qEnvironmentVariable("PGHOST") + ':' + qEnvironmentVariable("PGPORT");
        const QString user = qEnvironmentVariable("PGUSER");
        for (QStringList* texts : {&arguments, &refusals}) {
            texts->replaceInStrings("{read-only}", readOnlyFolder.path());
            texts->replaceInStrings("{folder}", folder.path());
            texts->replaceInStrings("{busy}", QString::number(busy.serverPort()));
            texts->replaceInStrings("{postgresql}", "postgresql://" + user + '@' + server);
            // A user no cluster has, whichever system user made it.
            texts->replaceInStrings("{postgresql-stranger}", "postgresql://quillbay_stranger@" + server);
            texts->replaceInStrings("{postgresql-wrong}", "postgresql://" + user + ":wrong@" + server);
        }
        const QStringList found = entriesWithModesAndBytes(folder.path());
        ServiceLaunch launch;
        launch.defaultStore = defaultStore;
        ServiceProcess service(arguments, {}, launch);
        QCOMPARE(service.baseUrl().isEmpty(), !refusals.isEmpty());
        if (refusals.isEmpty())
            return;
        QCOMPARE(service.exitCode(), 1);
        // Each refusal on a line of its own, and no other line but the start's news: no line of the libraries'.
        QByteArrayList lines = service.log().split('\n');
        lines.removeAll(QByteArray());
        lines.removeIf([](const QByteArray& line) { return line.contains(" info: "); });
        QCOMPARE(lines.size(), refusals.size());
        for (const QString& refusal : refusals)
            QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                                 [&refusal](const QByteArray& line) { return line.startsWith(refusal.toUtf8()); }),
                     service.log().constData());
        // The log alone, which the test makes.
        QCOMPARE(QDir(service.dataDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"service.log"});
        QCOMPARE(entriesWithModesAndBytes(folder.path()), found);
    }

    // Behind a proxy that serves the service below a path, the front page's form must post to the address the page
    // was found at, not to the proxy's root; so too where the service names that address itself.
    void signUpFormPostsToItsOwnPage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("page");
        const QString below = "http://127.0.0.1:8080/quillbay/";
        QTest::newRow("at the service's own address") << QStringList() << QString();
        QTest::newRow("below a path") << QStringList() << below;
        QTest::newRow("below a path without its slash") << QStringList() << below.chopped(1);
        QTest::newRow("below the path of --public-url") << QStringList{"--public-url", below} << below;
    }

    void signUpFormPostsToItsOwnPage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, page);
        ServiceProcess service(arguments);
        const QUrl address(page.isEmpty() ? service.baseUrl() : page);
        const QString html = QString::fromUtf8(get(service.baseUrl()));
        const QRegularExpressionMatch form = QRegularExpression("<form\\s[^>]*>").match(html);
        QVERIFY2(form.hasMatch(), qPrintable(html));
        // A browser posts a form without an action to the page's own address, and resolves one with it.
        const QString action = QRegularExpression("\\saction=\"([^\"]*)\"").match(form.captured()).captured(1);
        QCOMPARE(address.resolved(QUrl(action)), address);
    }

    void signsUpOnItsFrontPage()
    {
        QVERIFY(get(m_service.baseUrl()).contains("<form method=\"post\""));
        const HttpHelper::Form account{{"username", "丙"}, {"password", "x y 1234"}};
        QVERIFY(post("", account).contains("注册成功"));
        QVERIFY(post("", account).contains("已被注册"));
        // An account the operator made with a password of fewer than eight characters is signed in to as before.
        QVERIFY(m_service.addAccount("己", "x"));
        QVERIFY(mapOf(post("sync/userid.php", {{"username", "己"}, {"password", "x"}})).contains("id"));
        QVERIFY(!post("", {{"username", "<b>"}, {"password", ""}}).contains("<b>"));
        QVERIFY(mapOf(post("sync/userid.php", account)).contains("id"));
        // A name's 64 characters are counted as characters, each of these beyond the Basic Multilingual Plane, on the
        // page as from the command line; the page's field, which a browser counts in UTF-16 units, takes them.
        const QString emojiName = QString::fromUcs4(U"\U0001F600").repeated(64);
        const HttpHelper::Form emoji{{"username", emojiName}, {"password", "x y 1234"}};
        const QString page = QString::fromUtf8(post("", emoji));
        QVERIFY(page.contains("注册成功"));
        const QMap<QString, QString> field = nameField(page);
        QCOMPARE(field.value("value"), QString());
        QVERIFY2(field.value("maxlength").toInt() >= emojiName.size(), qPrintable(page));
        QVERIFY(mapOf(post("sync/userid.php", emoji)).contains("id"));
        QVERIFY(m_service.addAccount(QString::fromUcs4(U"\U0001F642").repeated(64), "x"));
    }

    // The front page refuses a name or password a new account may not have, in its own words, and makes no account:
    // the name must print as one line, be UTF-8 as sent (a byte that is no part of a character would be read as U+FFFD,
    // and two such names would become one), and the program keeps only ASCII passwords. The page keeps the name as it
    // was typed, escaped, for the user to mend, and never the password.
    void refusesSignUpsOnItsFrontPage_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("said");
        const QString control = "用户名不能含有换行符、制表符等控制字符";
        const QString bytes = "用户名含有无法识别的字符，请重新输入";
        const QString blank = "用户名须为1到64个字符，首尾不能有空格";
        const auto row = [](const char* name, const QByteArray& account, const QString& password, const QString& said) {
            QTest::newRow(name) << account << password << said;
        };
        const auto text = [](const char16_t* name) { return QString::fromUtf16(name).toUtf8(); };
        row("a password of seven characters", "戊", "x y 123", "密码不能少于8个字符");
        row("a password beyond ASCII", "丁", "密码 1+1", "密码只能使用英文字母、数字和符号");
        row("an empty password", "空", "", "密码不能为空");
        row("a name of markup and quotes", "a\"><b>'&", "x y", "密码不能少于8个字符");
        row("a blank after the name", "庚 ", "password12", blank);
        row("U+3000 after the name", text(u"庚\u3000"), "password12", blank);
        row("a line break in the name", "nl\nhere", "password12", control);
        row("a tab in the name", "tab\there", "password12", control);
        row("U+0001 in the name", "ctl\x01name", "password12", control);
        row("U+0007 and U+007F in the name", "ctl\x07\x7fname", "password12", control);
        row("U+007F in the name", "del\x7fname", "password12", control);
        row("a line break at the end of the name", "辛\n", "password12", control);
        row("U+0085, a line break, in the name", text(u"nel\u0085here"), "password12", control);
        row("U+009B, an escape sequence's start, in the name", text(u"csi\u009b2Jname"), "password12", control);
        row("U+2028 in the name", text(u"ls\u2028here"), "password12", control);
        row("U+2029 at the end of the name", text(u"壬\u2029"), "password12", control);
        row("65 characters beyond the Basic Multilingual Plane", QString::fromUcs4(U"\U0001F600").repeated(65).toUtf8(),
            "password12", blank);
        row("a byte that starts no character", "ab\xffz", "password12", bytes);
        row("a line break written in two bytes", "\xc0\x8a", "password12", bytes);
        row("a character written in more bytes than it takes", "\xe0\x80\xafz", "password12", bytes);
        row("a surrogate", "\xed\xa0\x80", "password12", bytes);
        row("past U+10FFFF", "\xf4\x90\x80\x80", "password12", bytes);
        row("a character cut short", "\xe4\xb8", "password12", bytes);
    }

    void refusesSignUpsOnItsFrontPage()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, password);
        QFETCH(QString, said);
        const QByteArray form =
            "username=" + name.toPercentEncoding() + "&password=" + password.toUtf8().toPercentEncoding();
        const QString page = QString::fromUtf8(postRaw("", form));
        QCOMPARE(QRegularExpression("<p class=\"notice\">([^<]*)</p>").match(page).captured(1), said);
        const QMap<QString, QString> field = nameField(page);
        QVERIFY2(field.contains("value"), qPrintable(page));
        QString kept = field.value("value");
        for (const auto& [entity, character] :
             {std::pair{"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
            kept.replace(entity, character);
        QCOMPARE(kept, QString::fromUtf8(name));
        QVERIFY(password.isEmpty() || !page.contains(password));
        QVERIFY(!mapOf(postRaw("sync/userid.php", form)).contains("id"));
    }

private:
    struct Device
    {
        qint64 clockOffset = 0;
        QStringList syncStarts{"2008-08-08 08:08:08"};
        QString clock() const { return QDateTime::currentDateTimeUtc().addSecs(clockOffset).toString(stampFormat); }
    };

    // A sync as the program makes it: the start of its last sync and the time of sending, read from its clock.
    QByteArray syncAs(Device& device, const QString& user, const QByteArray& data)
    {
        const QString start = device.clock();
        const QByteArray answer = postRaw("sync/syncpc2.php", syncBody(user, data, device.syncStarts.last(), start));
        if (!billEntry(answer).isEmpty())
            device.syncStarts << start;
        return answer;
    }

    QString newAccount(const ServiceProcess* service = nullptr)
    {
        const QString name = QString("user%1").arg(++m_accounts);
        return (service ? service : &m_service)->addAccount(name, "pw") ? name : QString();
    }

    QString userIdOf(const QString& user, const ServiceProcess* service = nullptr)
    {
        return mapOf(post("sync/userid.php", {{"username", user}, {"password", "pw"}}, service)).value("id").toString();
    }

    // The attributes of the sign-up page's name field, by name; none when the page has no such field.
    static QMap<QString, QString> nameField(const QString& page)
    {
        const QString field = QRegularExpression("<input name=\"username\"[^>]*>").match(page).captured();
        QMap<QString, QString> attributes;
        for (const QRegularExpressionMatch& attribute : QRegularExpression("(\\w+)=\"([^\"]*)\"").globalMatch(field))
            attributes.insert(attribute.captured(1), attribute.captured(2));
        return attributes;
    }

    // What the folder holds, below it too, each with its mode and, of a plain file, a digest of its bytes:
    // "notes.txt 644 3f78...".
    static QStringList entriesWithModesAndBytes(const QString& folder)
    {
        QStringList entries;
        QDirIterator found(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        while (found.hasNext()) {
            const QString path = found.next();
            struct stat status = {};
            lstat(QFile::encodeName(path).constData(), &status);
            QString entry = QString("%1 %2").arg(QDir(folder).relativeFilePath(path)).arg(status.st_mode & 07777, 0, 8);
            QFile file(path);
            if (S_ISREG(status.st_mode) && file.open(QIODevice::ReadOnly))
                entry += ' ' + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
            entries << entry;
        }
        entries.sort();
        return entries;
    }

    // Another program's SQLite database at the path, holding the table notes. With the suffixes of its write-ahead
    // log and the log's index ("-wal", "-shm"), the table lies in the log, and those of them named are left beside the
    // file, as a program that ended without closing the database leaves them.
    static bool notesDatabase(const QString& path, const QStringList& left = {})
    {
        const QString written = left.isEmpty() ? path : path + ".open";
        const QStringList statements{left.isEmpty() ? "pragma journal_mode = delete" : "pragma journal_mode = wal",
                                     "pragma wal_autocheckpoint = 0", "create table notes (note text)",
                                     "insert into notes values ('a note')"};
        bool made = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "notes");
            db.setDatabaseName(written);
            made = db.open();
            for (const QString& statement : statements)
                made = made && QSqlQuery(db).exec(statement);
            // Taken while the program holds the database open, its work in the log.
            for (const QString& suffix : QStringList{""} + left)
                made = made && (left.isEmpty() || QFile::copy(written + suffix, path + suffix));
        }
        QSqlDatabase::removeDatabase("notes");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            if (!left.isEmpty())
                QFile::remove(written + suffix);
        }
        return made;
    }

    // A store as an earlier version left it, with the account "owner" with the password "pw" and the records that
    // `synced` wrote through this version's service, all moved into a table of records of one of the earlier shapes,
    // with their change numbers where it has them, and sizes of 0 where it has them, as a process of a still earlier
    // version left them; or, shape 3, in a PostgreSQL database sorting texts by English, the texts of its tables
    // compared as the database does: its user id. The store stays for the test, behind m_earlier.
    QString earlierStore(
        int shape, const std::function<bool()>& synced = [] { return true; })
    {
        ServiceLaunch launch;
        launch.icuLocale = shape == 3 ? "en" : QString();
        m_earlier = std::make_unique<ServiceProcess>(QStringList(), QString(), launch);
        if (!m_earlier->addAccount("owner", "pw") || !synced())
            return {};
        const QString userId = userIdOf("owner", m_earlier.get());
        m_earlier->stop();
        if (shape == 3)
            return m_earlier->execOnStore({textsInTheDatabasesCollation}) ? userId : QString();
        const QString columns = shape > 0 ? "user_id, table_name, id, version, deleted, data, seq"
                                          : "user_id, table_name, id, version, deleted, data";
        QStringList statements{QString(earlierRecordTables.at(shape)).replace("table records", "table earlier"),
                               "insert into earlier (" + columns + ") select " + columns + " from records",
                               "drop table records", "alter table earlier rename to records"};
        if (shape > 0)
            statements << "create index records_by_change_key on records (user_id, seq, table_name, id)";
        return m_earlier->execOnStore(statements) ? userId : QString();
    }

    // What waits for a lock of the store: a table, a row, a lock of the service's own.
    static constexpr const char* locksWaitedFor = "select count(*) from pg_locks where not granted";

    // The statements that wait for a lock on the table of records, an upgrade's or a write's.
    static int writesWaitingForRecords(const QSqlDatabase& db)
    {
        return count(db, "select count(*) from pg_locks l join pg_class c on c.oid = l.relation where c.relname = "
                         "'records' and not l.granted");
    }

    // Those, and the statements that wait for a lock of the service's own.
    static int waitingForTheStore(const QSqlDatabase& db)
    {
        return writesWaitingForRecords(db) +
               count(db, "select count(*) from pg_locks where locktype = 'advisory' and not granted");
    }

    static int count(const QSqlDatabase& db, const QString& statement)
    {
        QSqlQuery query(db);
        return query.exec(statement) && query.next() ? query.value(0).toInt() : -1;
    }

    // A sync as the program sends it, with the upload's bytes as they stand.
    static QByteArray syncBody(const QString& user, const QByteArray& data,
                               const QString& syncTime = "2008-08-08 08:08:08",
                               const QString& clientTime = QString(stamp(0)))
    {
        return HttpHelper::encodeForm({{"version", "44"},
                                       {"username", user},
                                       {"password", "pw"},
                                       {"sync_time", syncTime},
                                       {"client_time", clientTime}}) +
               "&data=" + data.toPercentEncoding();
    }

    QByteArray sync(const QString& user, const QByteArray& data, const ServiceProcess* service = nullptr)
    {
        return postRaw("sync/syncpc2.php", syncBody(user, data), service);
    }

    QByteArray post(const QString& path, const HttpHelper::Form& form, const ServiceProcess* service = nullptr)
    {
        return postRaw(path, HttpHelper::encodeForm(form), service);
    }

    QByteArray postRaw(const QString& path, const QByteArray& body, const ServiceProcess* service = nullptr)
    {
        return answer(m_manager.post(formRequest(path, service), body));
    }

    QNetworkRequest formRequest(const QString& path, const ServiceProcess* service = nullptr) const
    {
        QNetworkRequest request(QUrl((service ? service : &m_service)->baseUrl() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        return request;
    }

    QByteArray get(const QString& url) { return answer(m_manager.get(QNetworkRequest(QUrl(url)))); }

    // The body of a 200 answer; anything else would reach the program as a bare transfer failure.
    static QByteArray answer(QNetworkReply* reply)
    {
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(120000);
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 ? reply->readAll()
                                                                                         : QByteArray("HTTP error");
    }

    // A connection of the test's own to the service's PostgreSQL store, on the server the PG* variables name.
    static QSqlDatabase storeConnection(const QString& name, const ServiceProcess& service)
    {
        const bool postgreSql = ServiceProcess::onPostgreSql();
        QSqlDatabase db = QSqlDatabase::addDatabase(postgreSql ? "QPSQL" : "QSQLITE", name);
        db.setDatabaseName(postgreSql ? QUrl(service.database()).path().mid(1) : service.database().section(':', 1));
        return db.open() ? db : QSqlDatabase();
    }

    // A service of the test's own, on a store of its own unless given one, whose log tells which line each request
    // was worked on in.
    static std::unique_ptr<ServiceProcess> serviceLoggingTurns(const QString& database = {})
    {
        const QByteArray rules = qgetenv("QT_LOGGING_RULES");
        qputenv("QT_LOGGING_RULES", "quillbay.service.turns.debug=true");
        auto service = std::make_unique<ServiceProcess>(QStringList(), database);
        qputenv("QT_LOGGING_RULES", rules);
        return service;
    }

    // The tests post many wrong passwords and sign-ups from one address.
    ServiceProcess m_service{{"--login-failures-per-address", "1000", "--signups-per-address", "1000"}};
    QNetworkAccessManager m_manager;
    int m_accounts = 0;
    std::unique_ptr<ServiceProcess> m_earlier;
};

QTEST_GUILESS_MAIN(TestSyncService)
#include "tst_syncservice.moc"
