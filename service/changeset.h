#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// What a device sends for one synced table: its own column names, its changed rows (one text per column) and its
// deletions as (id, stamp).
struct TableChanges
{
    QString table;
    QStringList columns;
    QList<QStringList> rows;
    QList<QPair<QString, QString>> deletions;
    int idColumn = -1;
    int versionColumn = -1;
};

// The upload of one sync, read and checked as a whole: one entry for each of the six synced tables, column
// names that are plain identifiers with "id" and "version" among them, every value a text, every stamp
// "yyyy-MM-dd hh:mm:ss". Anything else makes the whole upload unreadable.
class ChangeSet
{
public:
    // The synced tables in the order devices send and receive them.
    static const QStringList& tableNames();

    bool read(const QString& json);
    // One of the six tables of an upload that was read successfully.
    const TableChanges& table(const QString& name) const;

private:
    QList<TableChanges> m_tables;
};
