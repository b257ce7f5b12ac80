#include "bookdump.h"

#include "online/syncchangeset.h"

#include <QSqlQuery>
#include <QSqlRecord>

QStringList BookDump::tables(bool twinsAndSettings)
{
    QStringList tables{"tbl_bill", "tbl_account", "tbl_borrower", "tbl_category", "tbl_sub_category", "tbl_member"};
    if (!twinsAndSettings)
        return tables;
    for (int i = 0; i < 6; ++i)
        tables << tables.at(i) + "_deleted";
    return tables << "tbl_setting";
}

QString BookDump::of(const QStringList& tables, const QSqlDatabase& db)
{
    QString text;
    for (const QString& table : tables) {
        QSqlQuery query("select * from " + table + " order by " + (table == "tbl_setting" ? "1" : "id"), db);
        text += table + "\n";
        while (query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                text += SyncChangeSet::valueText(query.value(i)) + "|";
            text += "\n";
        }
    }
    return text;
}
