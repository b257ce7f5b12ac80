#include "online/syncanswer.h"

#include "online/syncchangeset.h"

#include <QMetaType>

bool SyncAnswer::read(const QVariantList& answer, const QStringList& tables, QList<Entry>& entries)
{
    entries.clear();
    for (const QVariant& item : answer) {
        if (item.typeId() != QMetaType::QVariantMap)
            return false;
        const QVariantMap map = item.toMap();
        QString table;
        if (!scalarText(map.value("table_name"), table))
            return false;
        if (!tables.contains(table))
            continue;
        Entry entry;
        entry.table = table;
        if (!readEntry(map, entry))
            return false;
        entries.append(entry);
    }
    return true;
}

bool SyncAnswer::readEntry(const QVariantMap& map, Entry& entry)
{
    const QVariant columnsValue = map.value("update_columns");
    const QVariant rowsValue = map.value("update_data");
    const QVariant deletionsValue = map.value("delete_data");
    for (const QVariant& value : {columnsValue, rowsValue, deletionsValue})
        if (value.isValid() && !isList(value))
            return false;

    // Received position of each accepted column.
    QList<int> positions;
    const QStringList local = SyncChangeSet::syncedColumns("tbl_" + entry.table);
    const QVariantList received = columnsValue.toList();
    for (int i = 0; i < received.size(); ++i) {
        QString name;
        if (!scalarText(received.at(i), name))
            return false;
        if (local.contains(name) && !entry.columns.contains(name)) {
            entry.columns.append(name);
            positions.append(i);
        }
    }
    entry.idColumn = entry.columns.indexOf("id");
    entry.versionColumn = entry.columns.indexOf("version");

    const QVariantList rows = rowsValue.toList();
    if (!rows.isEmpty() && (entry.idColumn < 0 || entry.versionColumn < 0))
        return false;
    for (const QVariant& rowValue : rows) {
        if (!isList(rowValue))
            return false;
        const QVariantList values = rowValue.toList();
        if (values.size() != received.size())
            return false;
        QStringList row;
        row.reserve(positions.size());
        for (int position : positions) {
            QString text;
            if (!scalarText(values.at(position), text))
                return false;
            row.append(text);
        }
        entry.rows.append(row);
    }

    for (const QVariant& pairValue : deletionsValue.toList()) {
        if (!isList(pairValue))
            return false;
        const QVariantList pair = pairValue.toList();
        QString id;
        QString stamp;
        if (pair.size() < 2 || !scalarText(pair.at(0), id) || !scalarText(pair.at(1), stamp))
            return false;
        entry.deletions.append({id, stamp});
    }
    return true;
}

bool SyncAnswer::scalarText(const QVariant& value, QString& text)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        text = QString("");
        return true;
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        text = SyncChangeSet::valueText(value);
        return true;
    default:
        return false;
    }
}

bool SyncAnswer::isList(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
}
