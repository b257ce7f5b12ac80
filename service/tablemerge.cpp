#include "tablemerge.h"

#include "answerentry.h"
#include "changeset.h"
#include "servicestore.h"

#include <algorithm>

TableMerge::TableMerge(const TableChanges& changes) : m_changes(changes)
{
    const TextRows& rows = changes.rows;
    const TextRows& deletions = changes.deletions;
    m_sent.reserve(rows.size() + deletions.size());
    for (qsizetype row = 0; row < rows.size(); ++row) {
        Sent& sent = m_sent[rows.at(row, changes.idColumn)];
        const QByteArrayView version = rows.at(row, changes.versionColumn);
        if (sent.newestRow < 0 || version > rows.at(sent.newestRow, changes.versionColumn))
            sent.newestRow = qint32(row);
        sent.lastRow = qint32(row);
    }
    for (qsizetype deletion = 0; deletion < deletions.size(); ++deletion) {
        Sent& sent = m_sent[deletions.at(deletion, 0)];
        if (sent.newestDeletion < 0 || deletions.at(deletion, 1) > deletions.at(sent.newestDeletion, 1))
            sent.newestDeletion = qint32(deletion);
        sent.lastDeletion = qint32(deletion);
    }
}

const QString& TableMerge::table() const
{
    return m_changes.table;
}

bool TableMerge::prepare(const ServiceStore& store, const QString& userId, AnswerEntry& answer)
{
    m_written.clear();
    QList<QByteArrayView> ids = m_sent.keys();
    // Written in the order of the store's key, records go in at the end of its index instead of all over it.
    std::sort(ids.begin(), ids.end());
    RecordBatch found;
    QHash<QByteArrayView, qsizetype> foundAt;
    for (qsizetype from = 0; from < ids.size(); from += ServiceStore::idsPerLookup) {
        const QList<QByteArrayView> some = ids.mid(from, ServiceStore::idsPerLookup);
        found.clear();
        foundAt.clear();
        if (!store.records(userId, m_changes.table, some, found))
            return false;
        for (qsizetype i = 0; i < found.size(); ++i)
            foundAt.insert(found.at(i).id, i);
        for (const QByteArrayView id : some) {
            const auto at = foundAt.constFind(id);
            const StoredRecord stored = at == foundAt.cend() ? StoredRecord() : found.at(*at);
            decide(id, at == foundAt.cend() ? nullptr : &stored, answer);
        }
    }
    return true;
}

void TableMerge::decide(QByteArrayView id, const StoredRecord* stored, AnswerEntry& answer)
{
    const Sent& sent = *m_sent.constFind(id);
    const TextRows& rows = m_changes.rows;
    bool present = stored != nullptr;
    QByteArrayView version = present ? stored->version : QByteArrayView();
    qsizetype row = -1;
    if (sent.newestRow >= 0) {
        const QByteArrayView received = rows.at(sent.newestRow, m_changes.versionColumn);
        if (!present || (stored->deleted ? received >= version : received > version)) {
            row = sent.newestRow;
            present = true;
            version = received;
        }
    }
    if (sent.newestDeletion >= 0) {
        const QByteArrayView stamp = m_changes.deletions.at(sent.newestDeletion, 1);
        if (!present || version < stamp) {
            m_written.append(StoredRecord{id, stamp, true, "{}"});
            return;
        }
    }
    if (row >= 0) {
        // A received row takes the place of a deletion whole, and keeps the columns of a live row it lacks.
        const bool keep = stored && !stored->deleted && m_values.read(stored->data);
        RecordValues::write(m_data, m_changes, row, keep ? &m_values : nullptr);
        m_written.append(StoredRecord{id, version, false, m_data});
        return;
    }
    if (stored && !holds(sent, *stored))
        answer.add(*stored);
}

bool TableMerge::holds(const Sent& sent, const StoredRecord& record)
{
    // A device that sent both for one id holds one of them; which is anybody's guess.
    if (sent.lastRow >= 0 && sent.lastDeletion >= 0)
        return false;
    if (record.deleted)
        return sent.lastDeletion >= 0 && m_changes.deletions.at(sent.lastDeletion, 1) == record.version;
    if (sent.lastRow < 0 || !m_values.read(record.data))
        return false;
    for (qsizetype i = 0; i < m_changes.columns.size(); ++i) {
        const QByteArrayView stored =
            i == m_changes.versionColumn ? record.version : m_values.value(m_changes.columns.at(i));
        if (i != m_changes.idColumn && m_changes.rows.at(sent.lastRow, i) != stored)
            return false;
    }
    return true;
}
