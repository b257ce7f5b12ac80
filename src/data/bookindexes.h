#pragma once

#include <QSqlDatabase>
#include <QStringList>

#include <functional>

// The indexes behind the bill list's order and filters and the sums over accounts. They change no table and
// leave the schema version alone, so a book is whole with or without them and opens in any build; the initial
// book carries them, and every book gets the missing ones when the program opens it.
class BookIndexes
{
public:
    // One "CREATE INDEX IF NOT EXISTS" statement per index.
    static QStringList statements();
    // Adds the indexes the book on the connection lacks, and makes anew those an earlier build made over other
    // columns, all in one transaction; false when the book refused them, which leaves it as it was.
    static bool addMissing(QSqlDatabase db = QSqlDatabase::database());
    // Inside the caller's transaction: runs a change of the columns in most bills with the indexes over them
    // dropped, and makes those again after it. Sorting every bill once into an index costs a fraction of moving an
    // entry of it for every bill changed. False when the change or an index failed; the caller then rolls back,
    // indexes included.
    static bool rebuiltAround(const QStringList& columns, const std::function<bool()>& change,
                              QSqlDatabase db = QSqlDatabase::database());
};
