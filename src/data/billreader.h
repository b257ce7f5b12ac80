#pragma once

#include "data/mbill.h"

#include <QSqlDatabase>
#include <QString>

struct sqlite3;

// Turns the rows of a bill query (the columns MBill::get selects, in its order) into bills. Where the connection's
// driver runs on the SQLite library this program is linked with, the rows come straight from it, so that each
// value is converted once, from the stored text to the bill's field. Elsewhere they come through QSqlQuery. Both
// give the same bills as QSqlQuery::value would, and the ids, kinds and titles that repeat from bill to bill
// share one string.
class BillReader
{
public:
    // Every row of the statement, in row order; none when the statement fails or holds more than one statement.
    static MBillList read(const QString& sql, const QSqlDatabase& db = QSqlDatabase::database());
    // The same rows through QSqlQuery alone.
    static MBillList readThroughDriver(const QString& sql, const QSqlDatabase& db = QSqlDatabase::database());

private:
    static MBillList readDirect(sqlite3* handle, const QString& sql);
};
