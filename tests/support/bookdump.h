#pragma once

#include <QString>
#include <QStringList>

// The rows of a book's tables as one text, ordered by id, every value as the text a sync carries, so that
// books on different devices (or one book before and after a step) compare with one QCOMPARE.
class BookDump
{
public:
    // The six synced data tables.
    static const QStringList& syncedTables();
    // The synced tables, their deletion twins and the settings row.
    static const QStringList& allTables();
    // On the default connection.
    static QString of(const QStringList& tables);
};
