#include "servicestore.h"

#include "data/sqlitehandle.h"
#include "directstatement.h"
#include "poolerprobe.h"
#include "postgresqlconnectfailure.h"
#include "postgresqlstatement.h"
#include "servernotices.h"
#include "servicelog.h"
#include "storeaddress.h"
#include "storequery.h"
#include "storeschema.h"
#include "valuespicker.h"
#include "writelockwait.h"

#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
// Records per write: few statements for a large upload, well under both stores' limits on bound values; and bytes
// of their values, past which a statement takes no further record, so that libpq's buffer, which keeps the size of
// the largest statement its connection sent, grows no larger than the largest record.
const qsizetype recordsPerWrite = 100;
const qint64 bytesPerWrite = 1024 * 1024;
// Records per page of a read that may take a whole account.
const qsizetype recordsPerPage = 1000;
// Ids that records() looks up in one statement.
const qsizetype idsPerLookup = 500;
// The stored records that records() reads whole, by their size: at most 1 MB for its 500 ids. The values of a larger
// one are read a piece at a time, in the columns its merge needs alone (pickValues()); the bills the program writes
// take some 430 bytes.
const qint64 readWholeUpTo = 2048;
// The bytes of a large record's values read at once; on PostgreSQL, sent in hexadecimal, they take 512 KB of libpq's
// buffer, which a write's values take up to 1 MB of.
const int valuesPerPiece = 256 * 1024;
// Ids of a lookup from which the store is first asked whether it holds any id in their range at all: a first sync's
// ids are all new, and one look into the index spares a look for each of them.
const qsizetype rangeCheckFrom = 100;
// The codes of a statement that did not get its lock in the time it was given: PostgreSQL's, past the
// transaction's lock_timeout, and SQLite's, when its wait for the write lock gave up.
const QStringList lockNotHad{"55P03", QString::number(SQLITE_BUSY)};

// Writes the records as changed by the change numbered `change`, a statement for every few of them, until `stopped`
// says so.
bool writeRecords(StoreStatement& statement, const QString& userId, const QString& table, const RecordBatch& records,
                  qint64 change, const std::function<bool()>& stopped)
{
    const QByteArray user = userId.toUtf8();
    const QByteArray name = table.toUtf8();
    qsizetype prepared = 0;
    for (qsizetype from = 0, count = 0; from < records.size(); from += count) {
        qint64 bytes = records.at(from).data.size();
        for (count = 1; from + count < records.size() && count < recordsPerWrite; ++count) {
            bytes += records.at(from + count).data.size();
            if (bytes > bytesPerWrite)
                break;
        }
        if (stopped())
            return false;
        if (count != prepared &&
            !statement.prepare("insert into records (user_id, table_name, id, version, deleted, data, seq, wire_size) "
                               "values " +
                               QStringList(count, "(" + StoreQuery::marks(8) + ")").join(", ") +
                               " on conflict (user_id, table_name, id) do update set version = excluded.version, "
                               "deleted = excluded.deleted, data = excluded.data, seq = excluded.seq, "
                               "wire_size = excluded.wire_size"))
            return false;
        prepared = count;
        int position = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const StoredRecord record = records.at(i);
            statement.bindText(position++, user);
            statement.bindText(position++, name);
            statement.bindText(position++, record.id);
            statement.bindText(position++, record.version);
            statement.bindNumber(position++, record.deleted ? 1 : 0);
            statement.bindText(position++, record.data);
            statement.bindNumber(position++, change);
            statement.bindNumber(position++, record.wireSize());
        }
        if (!statement.run())
            return false;
    }
    return true;
}

// The record whose id, version, deletion mark and data stand in the row's columns from `first` on; its texts live
// until the statement steps on.
StoredRecord recordAt(const StoreStatement& row, int first)
{
    return StoredRecord{row.text(first), row.text(first + 1), row.number(first + 2) != 0, row.text(first + 3)};
}
} // namespace

const std::chrono::milliseconds ServiceStore::accountWait(500);

ServiceStore::ServiceStore(std::chrono::milliseconds serverWait) : m_wait(serverWait) {}

ServiceStore::~ServiceStore()
{
    forgetStatements();
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

bool ServiceStore::open(const QString& url, bool makeTables)
{
    m_preparing = StoreAddress::poolsTransactions(url) ? PostgresqlStatement::Preparing::Unnamed
                                                       : PostgresqlStatement::Preparing::Named;
    m_db = StoreAddress::database(url, m_openError, m_wait.bound());
    if (!m_db.isValid())
        return false;
    if (!connect()) {
        m_openError =
            "connecting to its database: " + (m_db.driverName() == "QPSQL" ? PostgresqlConnectFailure::described(m_db)
                                                                           : StoreQuery::described(m_db.lastError()));
        return false;
    }
    if (!makeTables)
        return true;
    if (m_session)
        m_openError = PoolerProbe::refusal(m_db, url);
    if (m_openError.isEmpty() &&
        StoreSchema::create(m_db, m_openError, [this] { return statement(m_sqliteQueries, m_postgresqlQueries); }))
        return true;
    // The statements the look at the tables kept go first: SQLite closes no connection that still has some.
    forgetStatements();
    m_db.close();
    return false;
}

QString ServiceStore::lastError() const
{
    return m_openError.isEmpty() ? m_db.lastError().text() : m_openError;
}

bool ServiceStore::connect()
{
    if (!m_db.open())
        return false;
    // A write-ahead log lets a sync be written while others read a large account, and those go on reading
    // meanwhile; with a rollback journal each would wait for the other. The file keeps the mode once set; another
    // process holding it in the old mode leaves it so for now.
    if (m_db.driverName() == "QSQLITE")
        QSqlQuery(m_db).exec("pragma journal_mode = wal");
    m_sqlite = SqliteHandle::of(m_db);
    m_session = PostgresqlStatement::sessionOf(m_db);
    if (m_session) {
        ServerNotices::takeFrom(m_session.get());
        m_wait.watch(m_session.get());
    }
    return true;
}

void ServiceStore::forgetStatements() const
{
    // The session goes first, so that no statement kept on PostgreSQL is deallocated: a connection that closes takes
    // them along, and a server that forgot them has none to let go.
    m_session.reset();
    m_sqliteQueries.clear();
    m_postgresqlQueries.clear();
    m_sqliteWrites.clear();
    m_postgresqlWrites.clear();
}

bool ServiceStore::failed(const StoreStatement& statement) const
{
    StoreQuery::failed(statement.failure(), statement.sql());
    if (statement.forgotten())
        statementsForgotten();
    return false;
}

void ServiceStore::statementsForgotten() const
{
    ++m_forgotten;
    forgetStatements();
    // The connection goes on, the statements prepared on it from now on under a session of their own.
    m_session = PostgresqlStatement::sessionOf(m_db);
}

void ServiceStore::moved(const StoredRecord& record) const
{
    m_largestMoved = std::max(m_largestMoved, qint64(record.data.size()));
}

void ServiceStore::letGoOfLargeBuffers()
{
    // libpq keeps its buffers as large as the largest message its connection sent or received, for as long as the
    // connection is open: one that moved a record larger than a write's bound of values is opened anew, so that
    // between syncs no connection keeps more than that.
    if (std::exchange(m_largestMoved, 0) <= bytesPerWrite || !m_session)
        return;
    forgetStatements();
    m_db.close();
    connect();
}

bool ServiceStore::transaction()
{
    // On PostgreSQL a sync waits for its account's row lock no longer than it waits on SQLite for the sync before it
    // (AccountTurns).
    m_inTransaction = execute("begin").has_value();
    if (m_inTransaction && !writesOneAtATime() &&
        !execute(QString("set local lock_timeout = %1").arg(qint64(accountWait.count()))))
        rollback();
    return m_inTransaction;
}

bool ServiceStore::commit()
{
    m_inTransaction = false;
    return execute("commit").has_value();
}

void ServiceStore::rollback()
{
    m_inTransaction = false;
    if (transactionOpen())
        execute("rollback");
}

bool ServiceStore::transactionOpen() const
{
    // A failed commit may have ended the transaction already, and a connection lost or given up took it along.
    if (m_sqlite)
        return sqlite3_get_autocommit(m_sqlite) == 0;
    if (!m_session || m_wait.givenUp())
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(m_session.get());
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

bool ServiceStore::ready()
{
    if (!m_db.isValid())
        return false;
    // A connection given up has said so in the log as it was.
    m_lost = m_lost || m_wait.givenUp();
    if (m_db.isOpen() && !m_wait.givenUp()) {
        if (const std::unique_ptr<StoreStatement> ping = run("select 1", {}); ping && ping->finish())
            return true;
        qCWarning(lcService) << "store connection lost";
        m_lost = true;
    }
    // Whether the ping failed, the connection was given up, or the driver found it broken in a statement before, none
    // of the statements prepared on it is known to the connection opened next: they are let go of with the old one,
    // which closes before its successor opens.
    forgetStatements();
    m_db.close();
    const bool connected = connect();
    if (connected && std::exchange(m_lost, false))
        qCWarning(lcService) << "store connection back";
    else if (!connected && !std::exchange(m_lost, true))
        qCWarning(lcService) << "store cannot be reached:" << StoreQuery::errorSummary(m_db.lastError());
    return connected;
}

ServiceStore::Hold ServiceStore::lockAccount(const QString& userId, const std::function<bool()>& abandoned)
{
    // Writing the account's row takes its row lock on PostgreSQL and the file's write lock on SQLite, both held to
    // the end of the transaction: the same statement serialises the syncs of an account on either store. On SQLite
    // it must be the transaction's first: a transaction that has read already is refused the write lock at once,
    // without waiting, while another connection holds it or once another has written since (Busy too).
    const std::unique_ptr<StoreStatement> query =
        prepared("update accounts set user_id = user_id where user_id = ?", {userId});
    if (!query)
        return Hold::Failed;
    std::optional<WriteLockWait> wait;
    if (m_sqlite)
        wait.emplace(m_sqlite, accountWait, abandoned);
    const bool ran = query->start();
    wait.reset();
    const bool held = ran && query->changes() == 1;
    query->finish();
    if (ran)
        return held ? Hold::Held : Hold::Failed;
    if (lockNotHad.contains(query->code()))
        return abandoned() ? Hold::Failed : Hold::Busy;
    failed(*query);
    return Hold::Failed;
}

std::unique_ptr<StoreStatement> ServiceStore::statement(DirectStatement::Kept& onSqlite,
                                                        PostgresqlStatement::Kept& onPostgresql) const
{
    if (m_sqlite)
        return std::make_unique<DirectStatement>(m_sqlite, onSqlite);
    return std::make_unique<PostgresqlStatement>(m_session, onPostgresql, m_wait, m_preparing);
}

std::unique_ptr<StoreStatement> ServiceStore::prepared(const QString& sql, const QVariantList& values) const
{
    std::unique_ptr<StoreStatement> query = statement(m_sqliteQueries, m_postgresqlQueries);
    if (!query->prepare(sql))
        return nullptr;
    query->bindAll(values);
    return query;
}

std::unique_ptr<StoreStatement> ServiceStore::run(const QString& sql, const QVariantList& values) const
{
    // A statement the server forgot is prepared again and run once more, where no transaction it aborted is under way.
    const qint64 forgotten = m_forgotten;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::unique_ptr<StoreStatement> query = prepared(sql, values);
        if (!query)
            return nullptr;
        if (query->start())
            return query;
        failed(*query);
        query->finish();
        if (m_forgotten == forgotten || m_inTransaction)
            break;
    }
    return nullptr;
}

std::optional<qint64> ServiceStore::execute(const QString& sql, const QVariantList& values)
{
    const std::unique_ptr<StoreStatement> statement = run(sql, values);
    if (!statement)
        return std::nullopt;
    const qint64 changed = statement->changes();
    return statement->finish() ? std::optional(changed) : std::nullopt;
}

bool ServiceStore::account(const QString& name, std::optional<StoredAccount>& found) const
{
    found.reset();
    const auto query = run("select name, user_id, salt, iterations, hash from accounts where name = ?", {name});
    if (!query)
        return false;
    if (query->next())
        found = StoredAccount{QString::fromUtf8(query->text(0)), QString::fromUtf8(query->text(1)),
                              QByteArray::fromHex(query->text(2).toByteArray()), int(query->number(3)),
                              QByteArray::fromHex(query->text(4).toByteArray())};
    return query->finish();
}

bool ServiceStore::addAccount(const StoredAccount& account)
{
    return execute("insert into accounts (name, user_id, salt, iterations, hash) values (?, ?, ?, ?, ?)",
                   {account.name, account.userId, account.salt.toHex(), account.iterations, account.hash.toHex()})
        .has_value();
}

bool ServiceStore::records(
    const QString& userId, const QString& table, const QList<QByteArrayView>& ids, std::optional<qint64> bytes,
    bool& whole, const std::function<bool(qsizetype from, qsizetype to, const RecordBatch& found)>& page) const
{
    RecordBatch found;
    qint64 read = 0;
    whole = true;
    for (qsizetype from = 0; from < ids.size(); from += idsPerLookup) {
        const qsizetype count = qMin(idsPerLookup, ids.size() - from);
        const auto [first, last] = std::minmax_element(ids.cbegin() + from, ids.cbegin() + from + count);
        found.clear();
        bool held = true;
        if (count >= rangeCheckFrom &&
            !any("select 1 from records where user_id = ? and table_name = ? and id >= ? and id <= ? limit 1",
                 {userId, table, first->toByteArray(), last->toByteArray()}, held))
            return false;
        if (held) {
            const QString where = "user_id = ? and table_name = ? and id in (" + StoreQuery::marks(int(count)) + ")";
            QVariantList keys{userId, table};
            for (qsizetype i = from; i < from + count; ++i)
                keys << ids.at(i).toByteArray();
            // The values of the small records alone, and with a bound, only when all of the page's keep within what
            // is left: the sizes are read from the live records' rows, before their values (a deletion's are "{}"),
            // in the statement that reads them. SQLite sums them in a subquery, as a window would have it read every
            // row whole first; PostgreSQL sums them over the rows of the one scan, keeping their large values aside
            // until they are sent.
            QString small = "wire_size <= ?";
            QVariantList values{readWholeUpTo};
            if (bytes) {
                const bool apart = writesOneAtATime();
                const QString sizes =
                    apart ? "(select coalesce(sum(wire_size), 0) from records where " + where + " and deleted = 0)"
                          : "coalesce(sum(case when deleted = 0 then wire_size end) over (), 0)";
                small = sizes + " <= ? and " + small;
                values = (apart ? keys : QVariantList()) + QVariantList{*bytes - read} + values;
            }
            const auto query = run("select id, version, deleted, case when " + small +
                                       " then data end, wire_size from records where " + where,
                                   values + keys);
            if (!query)
                return false;
            const qint64 left = bytes ? *bytes - read : 0;
            qint64 liveSizes = 0;
            while (query->next()) {
                StoredRecord record = recordAt(*query, 0);
                if (query->isNull(3))
                    record.storedSize = query->number(4);
                liveSizes += record.deleted ? 0 : query->number(4);
                read += record.wireSize();
                moved(record);
                found.append(record);
            }
            if (!query->finish())
                return false;
            whole = !bytes || liveSizes <= left;
            if (!whole)
                return true;
        }
        if (!page(from, from + count, found))
            return true;
    }
    return true;
}

bool ServiceStore::pickValues(const QString& userId, const QString& table, QByteArrayView id,
                              const std::function<bool(QByteArrayView column)>& wanted, QByteArray& values) const
{
    ValuesPicker picker(wanted);
    const QVariantList key{userId, table, id.toByteArray()};
    if (!(m_sqlite ? readSqlitePieces(key, picker) : readPostgresqlPieces(key, picker)))
        return false;
    values = picker.picked();
    if (!values.isEmpty())
        return true;
    // Values that are no object the service writes, if any, are read whole, as a lookup of a small record reads them.
    const auto query = run("select data from records where user_id = ? and table_name = ? and id = ?", key);
    if (!query)
        return false;
    if (query->next()) {
        values = query->text(0).toByteArray();
        moved(StoredRecord{id, {}, false, values});
    }
    return query->finish();
}

bool ServiceStore::readSqlitePieces(const QVariantList& key, ValuesPicker& picker) const
{
    // The record's row, whose value SQLite reads a piece at a time through its own calls, where a statement would read
    // it whole first.
    std::optional<qint64> row;
    if (!number("select rowid from records where user_id = ? and table_name = ? and id = ?", key, row))
        return false;
    if (!row)
        return true;
    sqlite3_blob* blob = nullptr;
    int outcome = sqlite3_blob_open(m_sqlite, "main", "records", "data", *row, 0, &blob);
    const int size = outcome == SQLITE_OK ? sqlite3_blob_bytes(blob) : 0;
    QByteArray piece(qMin(size, valuesPerPiece), Qt::Uninitialized);
    for (int at = 0; outcome == SQLITE_OK && at < size; at += valuesPerPiece) {
        const int length = qMin(size - at, valuesPerPiece);
        outcome = sqlite3_blob_read(blob, piece.data(), length, at);
        if (outcome == SQLITE_OK && !picker.read(QByteArrayView(piece.constData(), length)))
            break;
    }
    sqlite3_blob_close(blob);
    return outcome == SQLITE_OK ||
           StoreQuery::failed(StoreQuery::codeSummary(QString::number(outcome)), "a piece of a record's values");
}

bool ServiceStore::readPostgresqlPieces(const QVariantList& key, ValuesPicker& picker) const
{
    // One statement, its rows the pieces in order, each sent as it is read. The server takes the value out of its
    // storage once, as its bytes (converted to SQL_ASCII, which takes them as they are, in either encoding the store
    // keeps), and cuts those where a piece ends: a piece of characters would have it count them from the first again
    // for each piece. Each goes in hexadecimal, as bytes cut in the middle of a character are no text.
    const auto query = run("select encode(substring(bytes from piece for ?), 'hex') from (select convert_to(data, "
                           "'SQL_ASCII') as bytes from records where user_id = ? and table_name = ? and id = ? offset "
                           "0) as record, generate_series(1, octet_length(bytes), ?) as piece",
                           QVariantList{valuesPerPiece} + key + QVariantList{valuesPerPiece});
    if (!query)
        return false;
    QByteArray piece;
    for (bool going = true; going && query->next();) {
        const QByteArrayView hex = query->text(0);
        moved(StoredRecord{{}, {}, false, hex});
        piece = QByteArray::fromHex(hex.toByteArray());
        going = picker.read(piece);
    }
    return query->finish();
}

bool ServiceStore::any(const QString& sql, const QVariantList& values, bool& found) const
{
    const auto query = run(sql, values);
    if (!query)
        return false;
    found = query->next();
    return query->finish();
}

bool ServiceStore::saveRecords(const QString& userId, const QString& table, const RecordBatch& records, qint64 change,
                               const std::function<bool()>& stopped)
{
    for (qsizetype i = 0; i < records.size(); ++i)
        moved(records.at(i));
    const std::unique_ptr<StoreStatement> statement = this->statement(m_sqliteWrites, m_postgresqlWrites);
    if (writeRecords(*statement, userId, table, records, change, stopped))
        return true;
    if (statement->forgotten())
        statementsForgotten();
    return false;
}

bool ServiceStore::changedRecords(
    const QString& userId, qint64 after, qint64 before, std::optional<ReadBound> bound, bool& whole,
    const std::function<bool(const QString& table, const StoredRecord& record)>& visit) const
{
    whole = true;
    // SQLite hands a page's rows over as they are stepped to, so that it reads no data past where the reading stops;
    // whether a bounded reading keeps within its bound is found first from the index, as the records' sizes stand
    // beside their numbers there.
    if (bound && writesOneAtATime() && !changedWithin(userId, after, before, *bound, whole))
        return false;
    if (!whole)
        return true;
    const QString order = " order by seq, table_name, id";
    const QString columns = "seq, table_name, id, version, deleted, data";
    const bool onePage = bound && !writesOneAtATime();
    const qint64 pageRecords = onePage ? bound->records + 1 : recordsPerPage;
    qint64 recordsRead = 0;
    qint64 bytesRead = 0;
    // Where the last page ended, in the order of the index the pages follow: the first starts after a number.
    QVariantList last{after};
    for (bool more = true; more;) {
        QString sql = "select " + columns + (onePage ? ", wire_size" : "") + " from records where user_id = ? and " +
                      (last.size() == 1 ? "seq > ?" : "(seq, table_name, id) > (?, ?, ?)") + " and seq < ?" + order +
                      " limit ?";
        QVariantList values = QVariantList{userId} + last + QVariantList{before, pageRecords};
        if (onePage) {
            // The page's records with their data when all of them keep within the bound, else its first alone without.
            sql = "select seq, table_name, id, version, deleted, case when within then data end from (select " +
                  columns + ", count(*) over () <= ? and sum(wire_size) over () <= ? as within, " +
                  "row_number() over (" + order.mid(1) + ") as position from (" + sql +
                  ") as page) as counted where within or position = 1" + order;
            values = QVariantList{bound->records, bound->bytes} + values;
        }
        const auto query = run(sql, values);
        if (!query)
            return false;
        qsizetype read = 0;
        while (more && query->next()) {
            ++read;
            const QString table = QString::fromUtf8(query->text(1));
            last = {query->number(0), query->text(1).toByteArray(), query->text(2).toByteArray()};
            const StoredRecord record = recordAt(*query, 2);
            bytesRead += record.wireSize();
            moved(record);
            whole = !query->isNull(5) && (!bound || (++recordsRead <= bound->records && bytesRead <= bound->bytes));
            more = whole && visit(table, record);
        }
        // The statement ends before the next page's: a reader of SQLite holds the whole file meanwhile.
        if (!query->finish())
            return false;
        more = more && read == pageRecords;
    }
    return true;
}

bool ServiceStore::changedWithin(const QString& userId, qint64 after, qint64 before, const ReadBound& bound,
                                 bool& within) const
{
    const auto query = run("select count(*), coalesce(sum(wire_size), 0) from (select wire_size from records where "
                           "user_id = ? and seq > ? and seq < ? limit ?) as changed",
                           {userId, after, before, bound.records + 1});
    if (!query)
        return false;
    within = query->next() && query->number(0) <= bound.records && query->number(1) <= bound.bytes;
    return query->finish();
}

bool ServiceStore::number(const QString& sql, const QVariantList& values, std::optional<qint64>& value) const
{
    value.reset();
    const auto query = run(sql, values);
    if (!query)
        return false;
    if (query->next() && !query->isNull(0))
        value = query->number(0);
    return query->finish();
}

bool ServiceStore::lastChange(const QString& userId, qint64& change) const
{
    std::optional<qint64> found;
    if (!number("select max(seq) from syncs where user_id = ?", {userId}, found))
        return false;
    change = found.value_or(0);
    return true;
}

bool ServiceStore::wroteRecords(const QString& userId, qint64 after, qint64 upTo, bool& written) const
{
    return any("select 1 from records where user_id = ? and seq > ? and seq <= ? limit 1", {userId, after, upTo},
               written);
}

bool ServiceStore::logChange(const QString& userId, qint64 change, qint64 applied, const QString& clientTime)
{
    return execute("insert into syncs (user_id, seq, applied, client_time) values (?, ?, ?, ?)",
                   {userId, change, applied, clientTime})
        .has_value();
}

bool ServiceStore::firstChangeSince(const QString& userId, qint64 applied, std::optional<qint64>& change) const
{
    return number("select min(seq) from syncs where user_id = ? and applied >= ?", {userId, applied}, change);
}

bool ServiceStore::earliestSentBetween(const QString& userId, const QString& from, const QString& to,
                                       std::optional<qint64>& applied) const
{
    return number("select min(applied) from syncs where user_id = ? and client_time >= ? and client_time <= ?",
                  {userId, from, to}, applied);
}

bool ServiceStore::loggedSince(const QString& userId, std::optional<qint64>& applied) const
{
    std::optional<qint64> lowest;
    if (!number("select min(seq) from records where user_id = ?", {userId}, lowest))
        return false;
    if (lowest.value_or(1) > 0) {
        applied = std::numeric_limits<qint64>::min();
        return true;
    }
    return number("select min(applied) from syncs where user_id = ?", {userId}, applied);
}

ServiceStore::Outcome ServiceStore::addFeedback(const FeedbackMessage& message, int perAddress, int perHour,
                                                qint64 storeLimit)
{
    return hourlyLimit().insert("feedback", {"email", "subject", "content", "size"},
                                {message.email, message.subject, message.content, message.size()}, message.address,
                                perAddress, perHour, "(select coalesce(sum(size), 0) from feedback) + ? <= ?",
                                {message.size(), storeLimit});
}

ServiceStore::Outcome ServiceStore::addSignup(const QString& address, int perAddress, int perHour)
{
    HourlyLimit signups = hourlyLimit();
    if (!signups.forgetOlder("signups"))
        return Outcome::Failed;
    return signups.insert("signups", {}, {}, address, perAddress, perHour);
}

HourlyLimit ServiceStore::hourlyLimit()
{
    return HourlyLimit([this](const QString& sql, const QVariantList& values) { return execute(sql, values); });
}
