#include "servicestore.h"

#include "data/sqlitehandle.h"
#include "directstatement.h"
#include "driverstatement.h"
#include "servicelog.h"
#include "storeaddress.h"
#include "storequery.h"
#include "storeschema.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
// Records per write: few statements for a large upload, well under both stores' limits on bound values.
const qsizetype recordsPerWrite = 100;
// Records per page of a read that may take a whole account.
const qsizetype recordsPerPage = 1000;
// Ids of a lookup from which the store is first asked whether it holds any id in their range at all: a first sync's
// ids are all new, and one look into the index spares a look for each of them.
const qsizetype rangeCheckFrom = 100;

// Writes the records as changed by the change numbered `change`, a statement for every few of them, until `stopped`
// says so.
template <typename Statement>
bool writeRecords(Statement& statement, const QString& userId, const QString& table, const RecordBatch& records,
                  qint64 change, const std::function<bool()>& stopped)
{
    const QByteArray user = userId.toUtf8();
    const QByteArray name = table.toUtf8();
    qsizetype prepared = 0;
    for (qsizetype from = 0; from < records.size(); from += recordsPerWrite) {
        const qsizetype count = qMin(recordsPerWrite, records.size() - from);
        if (stopped())
            return false;
        if (count != prepared &&
            !statement.prepare("insert into records (user_id, table_name, id, version, deleted, data, seq) values " +
                               QStringList(count, "(" + StoreQuery::marks(7) + ")").join(", ") +
                               " on conflict (user_id, table_name, id) do update set version = excluded.version, "
                               "deleted = excluded.deleted, data = excluded.data, seq = excluded.seq"))
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
        }
        if (!statement.run())
            return false;
    }
    return true;
}

QByteArray text(const QSqlQuery& query, int column)
{
    return query.value(column).toString().toUtf8();
}

// Reads the record whose id, version, deletion mark and data stand in the query's columns from `first` on, and hands
// it on; its texts live as long as the call.
template <typename Use> void withRecord(const QSqlQuery& query, int first, Use use)
{
    const QByteArray id = text(query, first);
    const QByteArray version = text(query, first + 1);
    const QByteArray data = text(query, first + 3);
    use(StoredRecord{id, version, query.value(first + 2).toInt() != 0, data});
}
} // namespace

const qsizetype ServiceStore::idsPerLookup = 500;

ServiceStore::ServiceStore() = default;

ServiceStore::~ServiceStore()
{
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

bool ServiceStore::open(const QString& url)
{
    m_db = StoreAddress::database(url, m_openError);
    return m_db.isValid() && connect();
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
    return StoreSchema::create(m_db);
}

bool ServiceStore::ready()
{
    if (!m_db.isValid())
        return false;
    if (m_db.isOpen()) {
        QSqlQuery ping(m_db);
        if (ping.exec("select 1"))
            return true;
        qCWarning(lcService) << "store connection lost:" << StoreQuery::errorSummary(ping.lastError());
        m_db.close();
        m_lost = true;
    }
    const bool connected = connect();
    if (connected && std::exchange(m_lost, false))
        qCWarning(lcService) << "store connection back";
    else if (!connected && !std::exchange(m_lost, true))
        qCWarning(lcService) << "store cannot be reached:" << StoreQuery::errorSummary(m_db.lastError());
    return connected;
}

bool ServiceStore::lockAccount(const QString& userId)
{
    // Writing the account's row takes its row lock on PostgreSQL and the file's write lock on SQLite, both held to
    // the end of the transaction: the same statement serialises the syncs of an account on either store.
    QSqlQuery query(m_db);
    query.prepare("update accounts set user_id = user_id where user_id = ?");
    query.addBindValue(userId);
    return StoreQuery::exec(query) && query.numRowsAffected() == 1;
}

bool ServiceStore::account(const QString& name, std::optional<StoredAccount>& found) const
{
    found.reset();
    QSqlQuery query(m_db);
    query.prepare("select name, user_id, salt, iterations, hash from accounts where name = ?");
    query.addBindValue(name);
    if (!StoreQuery::exec(query))
        return false;
    if (query.next())
        found = StoredAccount{query.value(0).toString(), query.value(1).toString(),
                              QByteArray::fromHex(query.value(2).toByteArray()), query.value(3).toInt(),
                              QByteArray::fromHex(query.value(4).toByteArray())};
    return true;
}

bool ServiceStore::addAccount(const StoredAccount& account)
{
    QSqlQuery query(m_db);
    query.prepare("insert into accounts (name, user_id, salt, iterations, hash) values (?, ?, ?, ?, ?)");
    query.addBindValue(account.name);
    query.addBindValue(account.userId);
    query.addBindValue(QString::fromLatin1(account.salt.toHex()));
    query.addBindValue(account.iterations);
    query.addBindValue(QString::fromLatin1(account.hash.toHex()));
    return StoreQuery::exec(query);
}

bool ServiceStore::records(const QString& userId, const QString& table, const QList<QByteArrayView>& ids,
                           RecordBatch& out) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    qsizetype prepared = 0;
    for (qsizetype from = 0; from < ids.size(); from += idsPerLookup) {
        const qsizetype count = qMin(idsPerLookup, ids.size() - from);
        const auto [first, last] = std::minmax_element(ids.cbegin() + from, ids.cbegin() + from + count);
        bool held = true;
        if (count >= rangeCheckFrom && !anyBetween(userId, table, *first, *last, held))
            return false;
        if (!held)
            continue;
        if (count != prepared)
            query.prepare(
                "select id, version, deleted, data from records where user_id = ? and table_name = ? and id in (" +
                StoreQuery::marks(int(count)) + ")");
        prepared = count;
        query.bindValue(0, userId);
        query.bindValue(1, table);
        for (qsizetype i = 0; i < count; ++i)
            query.bindValue(int(2 + i), QString::fromUtf8(ids.at(from + i)));
        if (!StoreQuery::exec(query))
            return false;
        while (query.next())
            withRecord(query, 0, [&out](const StoredRecord& record) { out.append(record); });
    }
    return true;
}

bool ServiceStore::anyBetween(const QString& userId, const QString& table, QByteArrayView first, QByteArrayView last,
                              bool& held) const
{
    QSqlQuery query(m_db);
    query.prepare("select 1 from records where user_id = ? and table_name = ? and id >= ? and id <= ? limit 1");
    for (const QVariant& value :
         {QVariant(userId), QVariant(table), QVariant(QString::fromUtf8(first)), QVariant(QString::fromUtf8(last))})
        query.addBindValue(value);
    if (!StoreQuery::exec(query))
        return false;
    held = query.next();
    return true;
}

bool ServiceStore::saveRecords(const QString& userId, const QString& table, const RecordBatch& records, qint64 change,
                               const std::function<bool()>& stopped)
{
    if (sqlite3* handle = SqliteHandle::of(m_db)) {
        DirectStatement statement(handle);
        return writeRecords(statement, userId, table, records, change, stopped);
    }
    DriverStatement statement(m_db);
    return writeRecords(statement, userId, table, records, change, stopped);
}

bool ServiceStore::changedRecords(
    const QString& userId, qint64 after, qint64 before,
    const std::function<bool(const QString& table, const StoredRecord& record)>& visit) const
{
    const QString columns = "select seq, table_name, id, version, deleted, data from records where user_id = ? and ";
    const QString order = " and seq < ? order by seq, table_name, id limit " + QString::number(recordsPerPage);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(columns + "seq > ?" + order);
    // Where the last page ended, in the order of the index the pages follow: the first starts after a number.
    QVariantList last{after};
    for (bool more = true; more;) {
        const QVariantList values = QVariantList{userId} + last + QVariantList{before};
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!StoreQuery::exec(query))
            return false;
        qsizetype read = 0;
        while (more && query.next()) {
            ++read;
            const QString table = query.value(1).toString();
            last = {query.value(0), table, query.value(2)};
            withRecord(query, 2, [&](const StoredRecord& record) { more = visit(table, record); });
        }
        // The statement ends before the next page's: a reader of SQLite holds the whole file meanwhile.
        query.finish();
        more = more && read == recordsPerPage;
        if (more && values.size() == 3)
            query.prepare(columns + "(seq, table_name, id) > (?, ?, ?)" + order);
    }
    return true;
}

bool ServiceStore::countChanged(const QString& userId, qint64 after, qint64 limit, qint64& count) const
{
    QSqlQuery query(m_db);
    query.prepare("select count(*) from (select 1 from records where user_id = ? and seq > ? limit ?) as changed");
    query.addBindValue(userId);
    query.addBindValue(after);
    query.addBindValue(limit);
    return numberOrZero(query, count);
}

bool ServiceStore::number(QSqlQuery& query, std::optional<qint64>& value) const
{
    value.reset();
    if (!StoreQuery::exec(query))
        return false;
    if (query.next() && !query.isNull(0))
        value = query.value(0).toLongLong();
    return true;
}

bool ServiceStore::numberOrZero(QSqlQuery& query, qint64& value) const
{
    std::optional<qint64> found;
    if (!number(query, found))
        return false;
    value = found.value_or(0);
    return true;
}

bool ServiceStore::lastChange(const QString& userId, qint64& change) const
{
    QSqlQuery query(m_db);
    query.prepare("select max(seq) from syncs where user_id = ?");
    query.addBindValue(userId);
    return numberOrZero(query, change);
}

bool ServiceStore::wroteRecords(const QString& userId, qint64 after, qint64 upTo, bool& written) const
{
    QSqlQuery query(m_db);
    query.prepare("select 1 from records where user_id = ? and seq > ? and seq <= ? limit 1");
    query.addBindValue(userId);
    query.addBindValue(after);
    query.addBindValue(upTo);
    if (!StoreQuery::exec(query))
        return false;
    written = query.next();
    return true;
}

bool ServiceStore::logChange(const QString& userId, qint64 change, qint64 applied, const QString& clientTime)
{
    QSqlQuery query(m_db);
    query.prepare("insert into syncs (user_id, seq, applied, client_time) values (?, ?, ?, ?)");
    query.addBindValue(userId);
    query.addBindValue(change);
    query.addBindValue(applied);
    query.addBindValue(clientTime);
    return StoreQuery::exec(query);
}

bool ServiceStore::firstChangeSince(const QString& userId, qint64 applied, std::optional<qint64>& change) const
{
    QSqlQuery query(m_db);
    query.prepare("select min(seq) from syncs where user_id = ? and applied >= ?");
    query.addBindValue(userId);
    query.addBindValue(applied);
    return number(query, change);
}

bool ServiceStore::earliestSentBetween(const QString& userId, const QString& from, const QString& to,
                                       std::optional<qint64>& applied) const
{
    QSqlQuery query(m_db);
    query.prepare("select min(applied) from syncs where user_id = ? and client_time >= ? and client_time <= ?");
    query.addBindValue(userId);
    query.addBindValue(from);
    query.addBindValue(to);
    return number(query, applied);
}

bool ServiceStore::loggedSince(const QString& userId, std::optional<qint64>& applied) const
{
    QSqlQuery query(m_db);
    query.prepare("select min(seq) from records where user_id = ?");
    query.addBindValue(userId);
    std::optional<qint64> lowest;
    if (!number(query, lowest))
        return false;
    if (lowest.value_or(1) > 0) {
        applied = std::numeric_limits<qint64>::min();
        return true;
    }
    query.prepare("select min(applied) from syncs where user_id = ?");
    query.addBindValue(userId);
    return number(query, applied);
}

ServiceStore::Outcome ServiceStore::addFeedback(const FeedbackMessage& message, int perAddress, int perHour,
                                                qint64 storeLimit)
{
    return HourlyLimit(m_db).insert("feedback", {"email", "subject", "content", "size"},
                                    {message.email, message.subject, message.content, message.size()}, message.address,
                                    perAddress, perHour, "(select coalesce(sum(size), 0) from feedback) + ? <= ?",
                                    {message.size(), storeLimit});
}

ServiceStore::Outcome ServiceStore::addSignup(const QString& address, int perAddress, int perHour)
{
    HourlyLimit signups(m_db);
    if (!signups.forgetOlder("signups"))
        return Outcome::Failed;
    return signups.insert("signups", {}, {}, address, perAddress, perHour);
}
