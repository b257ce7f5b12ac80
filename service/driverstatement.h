#pragma once

#include <QByteArrayView>
#include <QSqlQuery>
#include <QString>

#include <memory>

class PreparedQueries;
class QSqlDatabase;

// A statement through the driver with the calls of a DirectStatement, for a store that SQLite's own calls do not
// reach; prepared once for its connection (PreparedQueries).
class DriverStatement
{
public:
    DriverStatement(const QSqlDatabase& db, PreparedQueries& queries);

    bool prepare(const QString& sql);
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();

private:
    const QSqlDatabase& m_db;
    PreparedQueries& m_queries;
    std::shared_ptr<QSqlQuery> m_query;
};
