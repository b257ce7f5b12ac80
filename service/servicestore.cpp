#include "servicestore.h"

#include "online/jsoncodec.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

namespace {
const char* const connectionName = "quillbay-service";

const char* const schema[] = {
    "create table if not exists accounts (name text primary key, user_id text not null unique, salt text not null, "
    "iterations integer not null, hash text not null)",
    "create table if not exists records (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, data text not null, primary key (user_id, table_name, id))",
    "create table if not exists feedback (received text not null, email text not null, subject text not null, "
    "content text not null)",
};

bool exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    qWarning() << "store:" << query.lastError().text();
    return false;
}
} // namespace

ServiceStore::ServiceStore() = default;

ServiceStore::~ServiceStore()
{
    m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(connectionName))
        QSqlDatabase::removeDatabase(connectionName);
}

bool ServiceStore::open(const QString& url)
{
    const QString sqlitePrefix = "sqlite:";
    const QUrl address(url);
    const QString scheme = address.scheme();
    if (url.startsWith(sqlitePrefix) && url.size() > sqlitePrefix.size()) {
        // The rest is a plain file path, not URL-encoded: "#" or "%" in it mean themselves.
        const QString path = url.mid(sqlitePrefix.size());
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            m_openError = "cannot create the folder of " + path;
            return false;
        }
        m_db = QSqlDatabase::addDatabase("QSQLITE", connectionName);
        m_db.setDatabaseName(path);
        // Another process may be inside a sync of the same file: wait for it instead of failing.
        m_db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=30000");
    } else if (scheme == "postgresql" || scheme == "postgres") {
        m_db = QSqlDatabase::addDatabase("QPSQL", connectionName);
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
    return m_db.open() && createSchema();
}

QString ServiceStore::lastError() const
{
    return m_openError.isEmpty() ? m_db.lastError().text() : m_openError;
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

std::optional<StoredAccount> ServiceStore::account(const QString& name) const
{
    QSqlQuery query(m_db);
    query.prepare("select name, user_id, salt, iterations, hash from accounts where name = ?");
    query.addBindValue(name);
    if (!exec(query) || !query.next())
        return std::nullopt;
    return StoredAccount{query.value(0).toString(), query.value(1).toString(),
                         QByteArray::fromHex(query.value(2).toByteArray()), query.value(3).toInt(),
                         QByteArray::fromHex(query.value(4).toByteArray())};
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
        query.addBindValue(JsonCodec::serializeStr(record.values));
        if (!exec(query))
            return false;
    }
    return true;
}

bool ServiceStore::addFeedback(const QString& email, const QString& subject, const QString& content)
{
    QSqlQuery query(m_db);
    query.prepare("insert into feedback (received, email, subject, content) values (?, ?, ?, ?)");
    query.addBindValue(QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss"));
    query.addBindValue(email);
    query.addBindValue(subject);
    query.addBindValue(content);
    return exec(query);
}
