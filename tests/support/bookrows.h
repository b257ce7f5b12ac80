#pragma once

#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// Rows written and read with plain SQL on the default connection, so that a record test sets up and checks
// a book without going through the class under test.
class BookRows
{
public:
    // Forgets every record cache, for a test that opens a new book.
    static void dropCaches();
    // Runs a statement with bound values; fails the running test when it fails.
    static void exec(const QString& sql, const QVariantList& values = {});
    // Column 0 of the first row, or an invalid variant.
    static QVariant value(const QString& sql, const QVariantList& values = {});
    // A bill row dated 2014-05-17; ids maps columns such as "account_id" to their values. Returns its id.
    static QString addBill(const QString& kind, double amount, const QMap<QString, QString>& ids = {});
    // The same on a date "yyyy-MM-dd", with its month column.
    static QString addBillOn(const QString& date, const QString& kind, double amount,
                             const QMap<QString, QString>& ids = {});
    // From now on the book refuses every insert into and update of the table, as a full or locked disk would.
    static void refuseWrites(const QString& table);
    // Until the connection closes, the book fails the "update" or "delete" of the bill with the id, as a disk that
    // fills up at that bill would.
    static void failBillAt(const QString& event, const QString& id);
    // The names of the indexes made for the bills (not the key's own), in name order.
    static QStringList billIndexes(const QSqlDatabase& db = QSqlDatabase::database());
    // Makes the book one of those made before the program indexed its bills.
    static void dropBillIndexes(const QSqlDatabase& db = QSqlDatabase::database());
};
