#include "syncmerge.h"

#include "changeset.h"
#include "servicestore.h"

#include <QStringList>

namespace {
QVariantMap answerEntry(const QMap<QString, StoredRecord>& state, const TableChanges& changes)
{
    QVariantList rows;
    QVariantList deletions;
    for (const StoredRecord& record : state) {
        if (record.deleted) {
            deletions << QVariant(QStringList{record.id, record.version});
            continue;
        }
        QStringList row;
        for (const QString& column : changes.columns)
            row << record.values.value(column).toString();
        row[changes.idColumn] = record.id;
        row[changes.versionColumn] = record.version;
        rows << QVariant(row);
    }
    return QVariantMap{{"table_name", changes.table},
                       {"update_columns", changes.columns},
                       {"update_data", rows},
                       {"delete_columns", QStringList{"id", "version"}},
                       {"delete_data", deletions}};
}
} // namespace

SyncMerge::SyncMerge(ServiceStore& store, const QString& userId) : m_store(store), m_userId(userId) {}

bool SyncMerge::merge(const ChangeSet& upload, QVariantList& answer)
{
    if (!m_store.transaction())
        return false;
    // Two devices of the account syncing at once, through this process or another, would otherwise both read the
    // state before either wrote it, and the later commit would undo the earlier one's newer rows.
    if (!m_store.lockAccount(m_userId)) {
        m_store.rollback();
        return false;
    }
    QVariantList entries;
    for (const QString& table : ChangeSet::tableNames()) {
        if (!mergeTable(upload.table(table), entries)) {
            m_store.rollback();
            return false;
        }
    }
    if (!m_store.commit()) {
        m_store.rollback();
        return false;
    }
    answer = entries;
    return true;
}

bool SyncMerge::mergeTable(const TableChanges& changes, QVariantList& answer)
{
    QMap<QString, StoredRecord> state;
    if (!m_store.records(m_userId, changes.table, state))
        return false;
    if (!m_store.saveRecords(m_userId, changes.table, apply(state, changes)))
        return false;
    answer << answerEntry(state, changes);
    return true;
}

QList<StoredRecord> SyncMerge::apply(QMap<QString, StoredRecord>& state, const TableChanges& changes)
{
    QMap<QString, StoredRecord*> changed;
    for (const QStringList& row : changes.rows) {
        const QString& id = row.at(changes.idColumn);
        const QString& version = row.at(changes.versionColumn);
        const auto found = state.find(id);
        if (found != state.end() && (found->deleted ? found->version > version : found->version >= version))
            continue;
        StoredRecord& record = state[id];
        if (record.deleted || record.id.isEmpty())
            record = StoredRecord{id, version, false, {}};
        record.version = version;
        for (int i = 0; i < changes.columns.size(); ++i)
            record.values.insert(changes.columns.at(i), row.at(i));
        changed.insert(id, &record);
    }
    for (const auto& [id, stamp] : changes.deletions) {
        const auto found = state.find(id);
        if (found != state.end() && found->version >= stamp)
            continue;
        StoredRecord& record = state[id];
        record = StoredRecord{id, stamp, true, {}};
        changed.insert(id, &record);
    }
    QList<StoredRecord> records;
    for (const StoredRecord* record : changed)
        records << *record;
    return records;
}
