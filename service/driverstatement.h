#pragma once

#include <QByteArrayView>
#include <QSqlQuery>
#include <QString>

class QSqlDatabase;

// A statement through the driver with the calls of a DirectStatement, for a store that SQLite's own calls do not
// reach.
class DriverStatement
{
public:
    explicit DriverStatement(const QSqlDatabase& db);

    bool prepare(const QString& sql);
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();

private:
    QSqlQuery m_query;
};
