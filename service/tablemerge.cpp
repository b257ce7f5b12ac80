#include "tablemerge.h"

#include "answerentry.h"
#include "changeset.h"
#include "servicestore.h"
#include "synccost.h"

#include <QHash>

#include <algorithm>

TableMerge::TableMerge(const TableChanges& changes) : m_changes(changes)
{
    m_sent.reserve(changes.rows.size() + changes.deletions.size());
    for (qsizetype row = 0; row < changes.rows.size(); ++row)
        m_sent.append(qint32(row));
    for (qsizetype deletion = 0; deletion < changes.deletions.size(); ++deletion)
        m_sent.append(~qint32(deletion));
    std::stable_sort(m_sent.begin(), m_sent.end(), [this](qint32 a, qint32 b) { return idOf(a) < idOf(b); });
    for (qsizetype i = 0; i < m_sent.size(); ++i) {
        if (i == 0 || idOf(m_sent.at(i)) != idOf(m_sent.at(i - 1)))
            m_idStarts.append(qint32(i));
    }
}

const QString& TableMerge::table() const
{
    return m_changes.table;
}

bool TableMerge::sent(QByteArrayView id) const
{
    const auto start =
        std::lower_bound(m_idStarts.cbegin(), m_idStarts.cend(), id,
                         [this](qint32 at, QByteArrayView wanted) { return idOf(m_sent.at(at)) < wanted; });
    return start != m_idStarts.cend() && idOf(m_sent.at(*start)) == id;
}

QByteArrayView TableMerge::idOf(qint32 entry) const
{
    return entry >= 0 ? m_changes.rows.at(entry, m_changes.idColumn) : m_changes.deletions.at(~entry, 0);
}

TableMerge::Sent TableMerge::sentFrom(qsizetype first) const
{
    const TextRows& rows = m_changes.rows;
    const TextRows& deletions = m_changes.deletions;
    const QByteArrayView id = idOf(m_sent.at(first));
    Sent sent;
    for (qsizetype i = first; i < m_sent.size() && idOf(m_sent.at(i)) == id; ++i) {
        const qint32 entry = m_sent.at(i);
        if (entry >= 0) {
            const int version = m_changes.versionColumn;
            if (sent.newestRow < 0 || rows.at(entry, version) > rows.at(sent.newestRow, version))
                sent.newestRow = entry;
            sent.lastRow = entry;
        } else {
            if (sent.newestDeletion < 0 || deletions.at(~entry, 1) > deletions.at(sent.newestDeletion, 1))
                sent.newestDeletion = ~entry;
            sent.lastDeletion = ~entry;
        }
    }
    return sent;
}

bool TableMerge::prepare(const ServiceStore& store, const QString& userId, AnswerEntry& answer, SyncCost& cost,
                         const std::function<bool()>& stopped)
{
    m_written.clear();
    m_store = &store;
    m_userId = userId;
    if (cost.passed() || stopped())
        return false;
    // Ids in order, so that records are written in the order of the store's key and go in at the end of its index
    // instead of all over it.
    QList<QByteArrayView> ids;
    ids.reserve(m_idStarts.size());
    for (const qint32 start : m_idStarts)
        ids.append(idOf(m_sent.at(start)));
    QHash<QByteArrayView, qsizetype> foundAt;
    bool going = true;
    bool read = true;
    // Each page of what is stored counts as it is read: what the merge answers of it is counted with it.
    const auto page = [&](qsizetype from, qsizetype to, const RecordBatch& found) {
        foundAt.clear();
        for (qsizetype i = 0; i < found.size(); ++i) {
            foundAt.insert(found.at(i).id, i);
            cost.addBytes(found.at(i));
        }
        for (qsizetype i = from; read && i < to; ++i) {
            const auto at = foundAt.constFind(ids.at(i));
            const StoredRecord stored = at == foundAt.cend() ? StoredRecord() : found.at(*at);
            read =
                decide(ids.at(i), sentFrom(m_idStarts.at(i)), at == foundAt.cend() ? nullptr : &stored, answer, cost);
        }
        going = read && !cost.passed() && !stopped();
        return going;
    };
    std::optional<qint64> bound;
    if (cost.bounded())
        bound = cost.bytesLeft();
    bool whole = true;
    if (!store.records(userId, m_changes.table, ids, bound, whole, page) || !read)
        return false;
    if (!whole)
        cost.markPassed();
    return going && !cost.passed();
}

bool TableMerge::decide(QByteArrayView id, const Sent& sent, const StoredRecord* stored, AnswerEntry& answer,
                        SyncCost& cost)
{
    const auto write = [this, &cost](const StoredRecord& record) {
        m_written.append(record);
        cost.addBytes(record);
    };
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
            write(StoredRecord{id, stamp, true, "{}"});
            return true;
        }
    }
    StoredRecord record;
    if (row >= 0) {
        // A received row takes the place of a deletion whole, and keeps the columns of a live row it lacks.
        const bool live = stored && !stored->deleted;
        if (live && !withValues(*stored, Columns::Others, record))
            return false;
        const bool keep = live && m_values.read(record.data);
        m_written.appendLive(id, version, [this, row, keep](QByteArray& data) {
            RecordValues::write(data, m_changes, row, keep ? &m_values : nullptr);
        });
        cost.addBytes(m_written.at(m_written.size() - 1));
        return true;
    }
    if (!stored)
        return true;
    if (!withValues(*stored, Columns::Sent, record))
        return false;
    if (!holds(sent, record))
        cost.addAnswered(record, answer.add(record));
    return true;
}

bool TableMerge::withValues(const StoredRecord& stored, Columns columns, StoredRecord& record)
{
    record = stored;
    if (stored.allValues())
        return true;
    const bool sent = columns == Columns::Sent;
    const auto wanted = [this, sent](QByteArrayView column) { return m_changes.hasColumn(column) == sent; };
    if (!m_store->pickValues(m_userId, m_changes.table, stored.id, wanted, m_picked))
        return false;
    record.data = m_picked;
    return true;
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
