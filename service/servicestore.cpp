#include "servicestore.h"

#include "online/jsoncodec.h"
#include "servicejson.h"
#include "servicelog.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>

namespace {
const char* const schema[] = {
    "create table if not exists accounts (name text primary key, user_id text not null unique, salt text not null, "
    "iterations integer not null, hash text not null)",
    "create table if not exists records (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, data text not null, primary key (user_id, table_name, id))",
    "create table if not exists feedback (received text not null, address text not null, email text not null, "
    "subject text not null, content text not null)",
};
// Feedback is counted over the last hour at every post.
const char* const feedbackIndex = "create index if not exists feedback_received on feedback (received)";

const QFileDevice::Permissions ownerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions ownerFolder = ownerFile | QFileDevice::ExeOwner;

// The error's code and first line: a later line of a server's message may quote the values of the statement.
QString errorSummary(const QSqlError& error)
{
    return error.nativeErrorCode() + ' ' + error.databaseText().section('\n', 0, 0);
}

bool exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    qCWarning(lcService) << "store:" << errorSummary(query.lastError());
    return false;
}

// Makes the folders of the path that are missing, each for its owner alone whatever the umask.
bool makeFolders(const QString& folder)
{
    QStringList missing;
    for (QString path = QFileInfo(folder).absoluteFilePath(); !QFileInfo::exists(path);
         path = QFileInfo(path).absolutePath())
        missing.prepend(path);
    for (const QString& path : missing) {
        if (!QDir().mkdir(path) || !QFile::setPermissions(path, ownerFolder))
            return false;
    }
    return true;
}

// The store file for its owner alone, made empty when missing. SQLite gives its journal, WAL and shared-memory
// files the mode of the store file, whatever the umask; older ones of an earlier start are mended too.
bool makeOwnerOnly(const QString& path)
{
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly, ownerFile))
        return false;
    file.close();
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        if (QFile::exists(path + suffix) && !QFile::setPermissions(path + suffix, ownerFile))
            return false;
    }
    return QFile::setPermissions(path, ownerFile);
}

QString newConnectionName()
{
    static QAtomicInt count;
    return QString("quillbay-service-%1").arg(count.fetchAndAddRelaxed(1));
}
} // namespace

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
    const QString sqlitePrefix = "sqlite:";
    const QUrl address(url);
    const QString scheme = address.scheme();
    if (url.startsWith(sqlitePrefix) && url.size() > sqlitePrefix.size()) {
        // The rest is a plain file path, not URL-encoded: "#" or "%" in it mean themselves.
        const QString path = url.mid(sqlitePrefix.size());
        if (!makeFolders(QFileInfo(path).absolutePath()) || !makeOwnerOnly(path)) {
            m_openError = "cannot make " + path + " for its owner alone";
            return false;
        }
        m_db = QSqlDatabase::addDatabase("QSQLITE", newConnectionName());
        m_db.setDatabaseName(path);
        // Another process may be inside a sync of the same file: wait for it instead of failing.
        m_db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=30000");
    } else if (scheme == "postgresql" || scheme == "postgres") {
        m_db = QSqlDatabase::addDatabase("QPSQL", newConnectionName());
        m_db.setHostName(address.host());
        m_db.setPort(address.port());
        m_db.setUserName(address.userName(QUrl::FullyDecoded));
        m_db.setPassword(address.password(QUrl::FullyDecoded));
        m_db.setDatabaseName(address.path(QUrl::FullyDecoded).mid(1));
        // Every start finds the tables there; the server's notices saying so are noise in the service's log.
        m_db.setConnectOptions("options='-c client_min_messages=warning'");
    } else {
        m_openError = "the database address is neither sqlite:PATH nor postgresql://USER@HOST:PORT/DATABASE";
        return false;
    }
    if (!m_db.isValid()) {
        m_openError = "no database driver for " + url.section(':', 0, 0);
        return false;
    }
    return connect();
}

QString ServiceStore::lastError() const
{
    return m_openError.isEmpty() ? m_db.lastError().text() : m_openError;
}

bool ServiceStore::connect()
{
    return m_db.open() && createSchema();
}

bool ServiceStore::ready()
{
    if (!m_db.isValid())
        return false;
    if (m_db.isOpen()) {
        QSqlQuery ping(m_db);
        if (ping.exec("select 1"))
            return true;
        qCWarning(lcService) << "store connection lost:" << errorSummary(ping.lastError());
        m_db.close();
    }
    return connect();
}

bool ServiceStore::createSchema()
{
    // Processes started together on one database may race to create a table; the loser's next try finds it.
    for (int attempt = 1;; ++attempt) {
        bool created = m_db.transaction();
        for (const char* statement : schema) {
            QSqlQuery query(m_db);
            created = created && query.exec(statement);
        }
        // Stores made before feedback was limited by address lack its column.
        if (created && !m_db.record("feedback").contains("address")) {
            QSqlQuery query(m_db);
            created = query.exec("alter table feedback add column address text not null default ''");
        }
        QSqlQuery index(m_db);
        created = created && index.exec(feedbackIndex);
        if (created && m_db.commit())
            return true;
        m_db.rollback();
        if (attempt == 3)
            return false;
        QThread::msleep(200);
    }
}

bool ServiceStore::lockAccount(const QString& userId)
{
    // Writing the account's row takes its row lock on PostgreSQL and the file's write lock on SQLite, both held to
    // the end of the transaction: the same statement serialises the syncs of an account on either store.
    QSqlQuery query(m_db);
    query.prepare("update accounts set user_id = user_id where user_id = ?");
    query.addBindValue(userId);
    return exec(query) && query.numRowsAffected() == 1;
}

bool ServiceStore::account(const QString& name, std::optional<StoredAccount>& found) const
{
    found.reset();
    QSqlQuery query(m_db);
    query.prepare("select name, user_id, salt, iterations, hash from accounts where name = ?");
    query.addBindValue(name);
    if (!exec(query))
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
    return exec(query);
}

bool ServiceStore::records(const QString& userId, const QString& table, QMap<QString, StoredRecord>& out) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare("select id, version, deleted, data from records where user_id = ? and table_name = ?");
    query.addBindValue(userId);
    query.addBindValue(table);
    if (!exec(query))
        return false;
    while (query.next()) {
        const QString id = query.value(0).toString();
        out.insert(id, StoredRecord{id, query.value(1).toString(), query.value(2).toInt() != 0,
                                    JsonCodec::parse(query.value(3).toString()).toMap()});
    }
    return true;
}

bool ServiceStore::saveRecords(const QString& userId, const QString& table, const QList<StoredRecord>& records)
{
    QSqlQuery query(m_db);
    query.prepare("insert into records (user_id, table_name, id, version, deleted, data) values (?, ?, ?, ?, ?, ?) "
                  "on conflict (user_id, table_name, id) do update set version = excluded.version, "
                  "deleted = excluded.deleted, data = excluded.data");
    for (const StoredRecord& record : records) {
        query.addBindValue(userId);
        query.addBindValue(table);
        query.addBindValue(record.id);
        query.addBindValue(record.version);
        query.addBindValue(record.deleted ? 1 : 0);
        query.addBindValue(QString::fromUtf8(ServiceJson::write(record.values)));
        if (!exec(query))
            return false;
    }
    return true;
}

ServiceStore::FeedbackOutcome ServiceStore::addFeedback(const FeedbackMessage& message, int perAddress, int perHour)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString stamp = "yyyy-MM-dd hh:mm:ss";
    const QString hourAgo = now.addSecs(-3600).toString(stamp);
    // One statement counts and inserts: nothing slips in between on SQLite, and the service posts its own messages one
    // at a time, so on PostgreSQL only a further process sharing the store could add one message over the limit.
    QSqlQuery query(m_db);
    query.prepare("insert into feedback (received, address, email, subject, content) select ?, ?, ?, ?, ? "
                  "where (select count(*) from feedback where received > ?) < ? and "
                  "(select count(*) from feedback where received > ? and address = ?) < ?");
    for (const QVariant& value : QVariantList{now.toString(stamp), message.address, message.email, message.subject,
                                              message.content, hourAgo, perHour, hourAgo, message.address, perAddress})
        query.addBindValue(value);
    if (!exec(query))
        return FeedbackOutcome::Failed;
    return query.numRowsAffected() == 1 ? FeedbackOutcome::Stored : FeedbackOutcome::OverLimit;
}
