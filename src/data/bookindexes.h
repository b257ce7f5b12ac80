#pragma once

#include <QSqlDatabase>
#include <QStringList>

// The indexes behind the bill list's order and filters and the sums over accounts. They change no table and
// leave the schema version alone, so a book is whole with or without them and opens in any build; the initial
// book carries them, and every book gets the missing ones when the program opens it.
class BookIndexes
{
public:
    // One "CREATE INDEX IF NOT EXISTS" statement per index.
    static QStringList statements();
    // Adds the indexes the book on the connection lacks, all in one transaction; false when the book refused
    // them, which leaves it as it was.
    static bool addMissing(QSqlDatabase db = QSqlDatabase::database());
};
