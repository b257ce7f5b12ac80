#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Objects the program adds to every book it opens, beyond what the book's schema version holds: indexes, and
// triggers that write only to a table of the program's own. They change no row of the book's tables, so a book is
// whole with or without them and opens in any build; the initial book carries them, and an older book gets the
// missing ones when the program opens it.
class SchemaAddition
{
public:
    struct Object
    {
        QString type; // as the schema table names it: "index", "table", "trigger"
        QString name;
        QString statement; // "CREATE … IF NOT EXISTS"
    };

    // Runs the statements of the objects the book lacks, all in one transaction; false when the book refused one,
    // which leaves it as it was. The objects named in `outdated` are there in a form an earlier build made: they
    // are dropped and made anew in the same transaction.
    static bool addMissing(const QList<Object>& objects, QSqlDatabase db, const QStringList& outdated = {});
};
