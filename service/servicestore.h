#pragma once

#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariantMap>

#include <optional>

// One account: its sign-in name, the user id every device of it binds to, and its derived password.
struct StoredAccount
{
    QString name;
    QString userId;
    QByteArray salt;
    int iterations = 0;
    QByteArray hash;
};

// One synced row of an account: either live (the row's columns as texts) or a deletion stamp.
struct StoredRecord
{
    QString id;
    QString version;
    bool deleted = false;
    QVariantMap values;
};

// Everything the service keeps, behind the only SQL in it. The statements are written so that SQLite and
// PostgreSQL both run them: no driver-specific types, functions or pragmas.
class ServiceStore
{
public:
    ServiceStore();
    ~ServiceStore();
    ServiceStore(const ServiceStore&) = delete;
    ServiceStore& operator=(const ServiceStore&) = delete;

    // Opens (creating when missing) the store file in the folder.
    bool open(const QString& dataDir);
    QString lastError() const { return m_db.lastError().text(); }

    std::optional<StoredAccount> account(const QString& name) const;
    bool addAccount(const StoredAccount& account);

    // The account's rows and deletion stamps of one table, by id; false when they cannot be read.
    bool records(const QString& userId, const QString& table, QMap<QString, StoredRecord>& out) const;
    bool saveRecords(const QString& userId, const QString& table, const QList<StoredRecord>& records);

    bool addFeedback(const QString& email, const QString& subject, const QString& content);

    bool transaction() { return m_db.transaction(); }
    bool commit() { return m_db.commit(); }
    void rollback() { m_db.rollback(); }

private:
    QSqlDatabase m_db;
};
