#include "storehold.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <cstring>

StoreHold::StoreHold(const QString& database) : m_connection(QUuid::createUuid().toString())
{
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_connection);
    db.setDatabaseName(database.mid(int(strlen("sqlite:"))));
    m_held = db.open() && QSqlQuery(db).exec("begin immediate");
}

StoreHold::~StoreHold()
{
    release();
    QSqlDatabase::database(m_connection).close();
    QSqlDatabase::removeDatabase(m_connection);
}

void StoreHold::release()
{
    if (m_held)
        QSqlQuery(QSqlDatabase::database(m_connection)).exec("rollback");
    m_held = false;
}

qint64 StoreHold::rows(const QString& table) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    return query.exec("select count(*) from " + table) && query.next() ? query.value(0).toLongLong() : -1;
}
