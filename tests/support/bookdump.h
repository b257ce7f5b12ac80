#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The rows of a book's tables as one text, ordered by id, every value as the text a sync carries, so that
// books on different devices (or one book before and after a step) compare with one QCOMPARE.
class BookDump
{
public:
    // The six synced tables, with their deletion twins and the settings row when asked for.
    static QStringList tables(bool twinsAndSettings);
    static QString of(const QStringList& tables, const QSqlDatabase& db = QSqlDatabase::database());
};
