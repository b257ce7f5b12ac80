#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

// The service's change set, read and checked as a whole before anything of it is written: only the synced
// tables and the columns the local table has are taken, every value as text.
class SyncAnswer
{
public:
    struct Entry
    {
        QString table;       // without the "tbl_" prefix
        QStringList columns; // received columns the local table has, each once, in received order
        int idColumn = -1;   // positions in columns
        int versionColumn = -1;
        QList<QStringList> rows;                  // values of columns, in the same order
        QList<QPair<QString, QString>> deletions; // id and stamp
    };

    // False when the answer is not a list of table entries as the service writes them: an entry that is not
    // a map, a row with another number of values than its columns, a row without id or version, a deletion
    // without id and stamp, a value that is a list or a map. Entries of other tables are skipped.
    static bool read(const QVariantList& answer, const QStringList& tables, QList<Entry>& entries);

    // A scalar JSON value as text: null as the empty text, reals with up to 15 significant digits.
    static bool scalarText(const QVariant& value, QString& text);

private:
    static bool readEntry(const QVariantMap& map, Entry& entry);
    static bool isList(const QVariant& value);
};
