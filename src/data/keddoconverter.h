#pragma once

#include <QStringList>

class QSqlDatabase;

// Turns a copy of a keddo data file (tables prefixed "ked_") into a book: the book schema is taken from a copy
// of the initial book, the foreign rows are copied over with a few kind words mapped, and the foreign tables
// are dropped.
class KeddoConverter
{
public:
    // Whether a file's tables are those of a keddo data file and not of a book.
    static bool isKeddo(const QStringList& tables);

    // Converts the file open on keddo, reading the schema from initial. False when the initial schema is
    // empty, a foreign table that is there could not be copied, or the settings row could not be written;
    // the file is then half converted, and the caller throws it away.
    static bool convert(QSqlDatabase& initial, QSqlDatabase& keddo);

    static QStringList tableNames(QSqlDatabase& db);

private:
    static bool copySchema(QSqlDatabase& initial, QSqlDatabase& keddo);
    static bool copyRows(QSqlDatabase& keddo);
    static void execAll(QSqlDatabase& db, const QStringList& statements);
};
