#include "online/syncchangeset.h"

#include "data/dbsetting.h"
#include "data/pendingchanges.h"
#include "online/syncsql.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

bool SyncChangeSet::build(const QStringList& tables, const QString& since, QVariantList& entries, qint64& sent)
{
    entries.clear();
    QSqlQuery query;
    if (!SyncSql::exec(query, PendingChanges::latest()) || !query.next())
        return false;
    sent = query.value(0).toLongLong();
    query.finish();
    const bool withPending = since != DbSetting::neverSynced;
    for (const QString& table : tables) {
        QVariantMap entry;
        if (!buildEntry(table, since, withPending, entry))
            return false;
        entries.append(entry);
    }
    return true;
}

bool SyncChangeSet::buildEntry(const QString& table, const QString& since, bool withPending, QVariantMap& entry)
{
    const QStringList columns = syncedColumns("tbl_" + table);
    if (columns.isEmpty())
        return false;
    QStringList quotedColumns;
    for (const QString& column : columns)
        quotedColumns.append(SyncSql::quoted(column));

    const QString pending = withPending ? " or id in (" + PendingChanges::idsOfTable() + ")" : QString();
    const QVariantList values = withPending ? QVariantList{since, table} : QVariantList{since};
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!SyncSql::exec(query,
                       "select " + quotedColumns.join(',') + " from tbl_" + table + " where version >= ?" + pending,
                       values))
        return false;
    QVariantList rows;
    while (query.next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row.append(valueText(query.value(i)));
        rows.append(QVariant(row));
    }

    if (!SyncSql::exec(query, "select id,version from tbl_" + table + "_deleted where version>=?" + pending, values))
        return false;
    QVariantList deletions;
    while (query.next())
        deletions.append(QVariant(QVariantList{valueText(query.value(0)), valueText(query.value(1))}));

    entry.insert("table_name", table);
    entry.insert("update_columns", columns);
    entry.insert("update_data", rows);
    entry.insert("delete_columns", QStringList{"id", "version"});
    entry.insert("delete_data", deletions);
    return true;
}

QString SyncChangeSet::valueText(const QVariant& value)
{
    if (value.isNull())
        return QString("");
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 15);
    default: {
        // A null text would be bound as NULL; the service's empty text stays an empty text.
        const QString text = value.toString();
        return text.isNull() ? QString("") : text;
    }
    }
}

QStringList SyncChangeSet::syncedColumns(const QString& table)
{
    const QSqlRecord record = QSqlDatabase::database().record(table);
    QStringList columns;
    for (int i = 0; i < record.count(); ++i)
        if (record.fieldName(i) != "user_id")
            columns.append(record.fieldName(i));
    return columns;
}
