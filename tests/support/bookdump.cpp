#include "bookdump.h"

#include "online/syncchangeset.h"

#include <QSqlQuery>
#include <QSqlRecord>

const QStringList& BookDump::syncedTables()
{
    static const QStringList tables{"tbl_bill",     "tbl_account",      "tbl_borrower",
                                    "tbl_category", "tbl_sub_category", "tbl_member"};
    return tables;
}

const QStringList& BookDump::allTables()
{
    static const QStringList tables = [] {
        QStringList all = syncedTables();
        for (const QString& table : syncedTables())
            all << table + "_deleted";
        return all << "tbl_setting";
    }();
    return tables;
}

QString BookDump::of(const QStringList& tables)
{
    QString text;
    for (const QString& table : tables) {
        QSqlQuery query("select * from " + table + (table == "tbl_setting" ? "" : " order by id"));
        text += table + "\n";
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << SyncChangeSet::valueText(query.value(i));
            text += values.join('|') + "\n";
        }
    }
    return text;
}
