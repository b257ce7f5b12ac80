#pragma once

class QSqlDatabase;

// What a file open on a connection holds, before the program writes to it or lets it take a book's place.
class BookCheck
{
public:
    // Whether the file holds a book's settings table: only such a file is upgraded or given records.
    static bool holdsSettings(const QSqlDatabase& db);
    // Whether a file the program did not make can take a book's place: undamaged, with a book's tables,
    // exactly one settings row and a schema no newer than this program's.
    static bool isWholeBook(const QSqlDatabase& db);
};
