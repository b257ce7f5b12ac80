#include "syncmerge.h"

#include "changeset.h"
#include "seenchanges.h"
#include "servicestore.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

namespace {
// What the device sent of one table, by id: the position of its row, or its deletion stamp.
struct Sent
{
    QHash<QString, qsizetype> rows;
    QHash<QString, QString> deletions;
};

Sent sentOf(const TableChanges& changes)
{
    Sent sent;
    for (qsizetype i = 0; i < changes.rows.size(); ++i)
        sent.rows.insert(changes.rows.at(i).at(changes.idColumn), i);
    for (const auto& [id, stamp] : changes.deletions)
        sent.deletions.insert(id, stamp);
    return sent;
}

// Whether the device holds the record as stored: it sent this deletion, or this row in every column it has.
bool holds(const TableChanges& changes, const Sent& sent, const StoredRecord& record)
{
    const auto row = sent.rows.constFind(record.id);
    const auto deletion = sent.deletions.constFind(record.id);
    // A device that sent both for one id holds one of them; which is anybody's guess.
    if (row != sent.rows.cend() && deletion != sent.deletions.cend())
        return false;
    if (record.deleted)
        return deletion != sent.deletions.cend() && *deletion == record.version;
    if (row == sent.rows.cend())
        return false;
    const QStringList& values = changes.rows.at(*row);
    for (qsizetype i = 0; i < changes.columns.size(); ++i) {
        const QString stored =
            i == changes.versionColumn ? record.version : record.values.value(changes.columns.at(i)).toString();
        if (i != changes.idColumn && values.at(i) != stored)
            return false;
    }
    return true;
}

QVariantMap answerEntry(const TableChanges& changes, const QMap<QString, StoredRecord>& records)
{
    const Sent sent = records.isEmpty() ? Sent() : sentOf(changes);
    QVariantList rows;
    QVariantList deletions;
    for (const StoredRecord& record : records) {
        if (holds(changes, sent, record))
            continue;
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

bool SyncMerge::merge(const ChangeSet& upload, const DeviceClock& clock, QVariantList& answer)
{
    if (!m_store.transaction())
        return false;
    // Two devices of the account syncing at once, through this process or another, would otherwise both read the
    // state before either wrote it, and the later commit would undo the earlier one's newer rows. Holding the
    // account also numbers its changes in the order they become visible.
    QVariantList entries;
    if (m_store.lockAccount(m_userId) && mergeLocked(upload, clock, entries) && m_store.commit()) {
        answer = entries;
        return true;
    }
    m_store.rollback();
    return false;
}

bool SyncMerge::mergeLocked(const ChangeSet& upload, const DeviceClock& clock, QVariantList& answer)
{
    qint64 last = 0;
    qint64 seen = -1;
    if (!m_store.lastChange(m_userId, last) || !SeenChanges::lastSeen(m_store, m_userId, clock, seen))
        return false;
    const qint64 change = last + 1;
    QHash<QString, QMap<QString, StoredRecord>> sendBack;
    for (const QString& table : ChangeSet::tableNames()) {
        if (!mergeTable(upload.table(table), change, sendBack[table]))
            return false;
    }
    QHash<QString, QList<StoredRecord>> changed;
    if (!m_store.logChange(m_userId, change, QDateTime::currentMSecsSinceEpoch(), clock.clientTime) ||
        !m_store.changedRecords(m_userId, seen, change, changed))
        return false;
    for (const QString& table : ChangeSet::tableNames()) {
        QMap<QString, StoredRecord>& records = sendBack[table];
        for (const StoredRecord& record : changed.value(table))
            records.insert(record.id, record);
        answer << answerEntry(upload.table(table), records);
    }
    return true;
}

bool SyncMerge::mergeTable(const TableChanges& changes, qint64 change, QMap<QString, StoredRecord>& kept)
{
    QStringList ids;
    for (const QStringList& row : changes.rows)
        ids << row.at(changes.idColumn);
    for (const auto& deletion : changes.deletions)
        ids << deletion.first;
    ids.removeDuplicates();
    QHash<QString, StoredRecord> state;
    if (!m_store.records(m_userId, changes.table, ids, state))
        return false;
    const QList<StoredRecord> written = apply(state, changes);
    if (!m_store.saveRecords(m_userId, changes.table, written, change))
        return false;
    for (const StoredRecord& record : written)
        state.remove(record.id);
    for (const StoredRecord& record : std::as_const(state))
        kept.insert(record.id, record);
    return true;
}

QList<StoredRecord> SyncMerge::apply(QHash<QString, StoredRecord>& state, const TableChanges& changes)
{
    QStringList changed;
    for (const QStringList& row : changes.rows) {
        const QString& id = row.at(changes.idColumn);
        const QString& version = row.at(changes.versionColumn);
        const auto found = state.constFind(id);
        if (found != state.cend() && (found->deleted ? found->version > version : found->version >= version))
            continue;
        StoredRecord& record = state[id];
        if (record.deleted || record.id.isEmpty())
            record = StoredRecord{id, version, false, {}};
        record.version = version;
        for (int i = 0; i < changes.columns.size(); ++i)
            record.values.insert(changes.columns.at(i), row.at(i));
        changed << id;
    }
    for (const auto& [id, stamp] : changes.deletions) {
        const auto found = state.constFind(id);
        if (found != state.cend() && found->version >= stamp)
            continue;
        state[id] = StoredRecord{id, stamp, true, {}};
        changed << id;
    }
    changed.removeDuplicates();
    // Written in the order of the store's key, records go in at the end of its index instead of all over it.
    changed.sort();
    QList<StoredRecord> records;
    records.reserve(changed.size());
    for (const QString& id : changed)
        records << state.value(id);
    return records;
}
