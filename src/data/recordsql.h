#pragma once

#include <QList>
#include <QString>
#include <QVariantList>
#include <functional>

class QSqlQuery;

// The SQL steps that every master-data record class shares, on the default connection of the open book.
class RecordSql
{
public:
    // A new record id: a UUID as text without braces, 36 characters.
    static QString newId();
    // Runs a prepared statement and writes its outcome ("true" or "false" and the error) to the debug output.
    static bool exec(QSqlQuery& query);
    // Runs a prepared update of one row: it succeeds only when the row was there, because an edit of a row
    // that is gone (removed by a sync meanwhile) keeps nothing.
    static bool execUpdate(QSqlQuery& query);
    // Column 0 of the first row of a count query with the given bound values; 0 when there is no row.
    static int count(const QString& sql, const QVariantList& values);
    // Runs work in one transaction on the default connection: what it wrote stays only when it returns true and
    // the commit succeeds, else the book is as it was and the result is false. Inside a transaction that a
    // caller opened, work joins it and the caller's commit or roll-back decides.
    static bool allOrNothing(const std::function<bool()>& work);
    // Deletes the row with the id. The table's delete trigger copies the row into its "_deleted" twin, whose
    // primary key would refuse a row of an id that was deleted before, so an older copy is dropped first.
    // Fails, and leaves the twin as it was, when there is no row with the id.
    static bool removeRow(const QString& table, const QString& id);

    template <typename T> static int indexById(const QList<T*>& list, const QString& id)
    {
        for (int i = 0; i < list.size(); ++i)
            if (list.at(i)->getId() == id)
                return i;
        return -1;
    }

    template <typename T> static T* findById(const QList<T*>& list, const QString& id)
    {
        const int i = indexById(list, id);
        return i < 0 ? nullptr : list.at(i);
    }
};
