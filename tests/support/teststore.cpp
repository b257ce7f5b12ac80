#include "teststore.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QtDebug>

namespace {
// Runs the statements on a PostgreSQL database (the PG* variables' own when empty) or an SQLite file.
bool execOn(bool postgreSql, const QString& database, const QStringList& statements)
{
    const QString name = "teststore-admin";
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(postgreSql ? "QPSQL" : "QSQLITE", name);
        db.setDatabaseName(database);
        done = db.open();
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            done = done && query.exec(statement);
        }
        if (!done)
            qWarning() << "store:" << db.lastError().text();
    }
    QSqlDatabase::removeDatabase(name);
    return done;
}

QString postgreSqlUrl(const QString& database)
{
    QUrl url;
    url.setScheme("postgresql");
    url.setUserName(qEnvironmentVariable("PGUSER"));
    url.setHost(qEnvironmentVariable("PGHOST"));
    url.setPort(qEnvironmentVariableIntValue("PGPORT"));
    url.setPath("/" + database);
    return url.toString();
}
} // namespace

TestStore::TestStore(const QString& sqliteFile, const QString& encoding, const QString& icuLocale)
{
    if (!onPostgreSql()) {
        m_address = "sqlite:" + sqliteFile;
        return;
    }
    const QString name = QString("quillbay_%1").arg(QRandomGenerator::global()->generate64(), 0, 36);
    QString made = "create database " + name;
    if (!encoding.isEmpty())
        made += " encoding '" + encoding + "' lc_collate 'C' lc_ctype 'C' template template0";
    else if (!icuLocale.isEmpty())
        made += " encoding 'UTF8' locale_provider icu icu_locale '" + icuLocale + "' template template0";
    if (!execOn(true, QString(), {made}))
        return;
    m_ownDatabase = name;
    m_address = postgreSqlUrl(name);
}

TestStore::~TestStore()
{
    if (!m_ownDatabase.isEmpty())
        execOn(true, QString(), {"drop database " + m_ownDatabase + " with (force)"});
}

bool TestStore::onPostgreSql()
{
    return qEnvironmentVariable("QUILLBAY_TEST_STORE") == "postgresql";
}

bool TestStore::exec(const QString& address, const QStringList& statements)
{
    const bool postgreSql = address.startsWith("postgresql:");
    return execOn(postgreSql, postgreSql ? QUrl(address).path().mid(1) : address.mid(int(strlen("sqlite:"))),
                  statements);
}
