#include "syncmerge.h"

#include "answerentry.h"
#include "changeset.h"
#include "seenchanges.h"
#include "servicelog.h"
#include "servicestore.h"

#include <QDateTime>

SyncMerge::SyncMerge(ServiceStore& store, const QString& userId, std::function<bool()> abandoned)
    : m_store(store), m_userId(userId), m_abandoned(std::move(abandoned))
{
}

bool SyncMerge::merge(const ChangeSet& upload, const DeviceClock& clock, AnswerText& answer)
{
    Plan plan{0, {}, answer.sibling()};
    if (!prepare(upload, clock, plan))
        return false;
    qsizetype records = 0;
    for (const TableMerge& table : plan.tables)
        records += table.written().size();
    qCDebug(lcTurns).noquote() << QString("a sync has worked out its merge: it writes %1 records").arg(records);
    if (!m_store.transaction())
        return false;
    try {
        return mergeInTransaction(upload, clock, plan, answer);
    } catch (...) {
        // The worker's connection goes on serving others: it must not keep the account, or the store, held.
        m_store.rollback();
        throw;
    }
}

bool SyncMerge::mergeInTransaction(const ChangeSet& upload, const DeviceClock& clock, Plan& plan, AnswerText& answer)
{
    // Two devices of the account syncing at once, through this process or another, would otherwise both write what
    // they worked out from the state before either wrote, and the later commit would undo the earlier one's newer
    // rows. Holding the account also numbers its changes in the order they become visible.
    qint64 last = 0;
    bool merged = m_store.lockAccount(m_userId) && m_store.lastChange(m_userId, last);
    // Changes that wrote no record, syncs that only asked, leave what was read as it was.
    bool written = false;
    merged = merged && (last == plan.lastChange || m_store.wroteRecords(m_userId, plan.lastChange, last, written));
    if (merged && written) {
        plan = Plan{0, {}, answer.sibling()};
        merged = prepare(upload, clock, plan);
    }
    plan.lastChange = last;
    // A device gone before the commit learns of nothing: what was written goes, and it sends its changes again. The
    // commit itself, once begun, ends as the store makes it.
    if (merged && write(plan, clock) && !m_abandoned() && m_store.commit()) {
        answer = std::move(plan.answer);
        return true;
    }
    m_store.rollback();
    return false;
}

bool SyncMerge::prepare(const ChangeSet& upload, const DeviceClock& clock, Plan& plan)
{
    // The change number first: whatever is read after it may be newer, never older.
    qint64 seen = -1;
    if (!m_store.lastChange(m_userId, plan.lastChange) || !SeenChanges::lastSeen(m_store, m_userId, clock, seen))
        return false;
    std::vector<AnswerEntry> entries;
    for (const QString& table : ChangeSet::tableNames()) {
        entries.emplace_back(upload.table(table), plan.answer);
        plan.tables.emplace_back(upload.table(table));
        if (!plan.tables.back().prepare(m_store, m_userId, entries.back(), m_abandoned))
            return false;
    }
    // What the device sent was answered by its table. Reading stops once the answer has no room left, or no device
    // to go to.
    const auto changed = [this, &plan, &entries](const QString& table, const StoredRecord& record) {
        const qsizetype at = ChangeSet::tableNames().indexOf(table);
        if (at >= 0 && !plan.tables.at(at).sent(record.id))
            entries.at(at).add(record);
        return !plan.answer.failed() && !m_abandoned();
    };
    if (!m_store.changedRecords(m_userId, seen, plan.lastChange + 1, changed) || m_abandoned())
        return false;

    plan.answer.append("[ ");
    for (AnswerEntry& entry : entries) {
        if (&entry != &entries.front())
            plan.answer.append(", ");
        entry.moveTo(plan.answer);
    }
    plan.answer.append(" ]");
    return plan.answer.finish();
}

bool SyncMerge::write(const Plan& plan, const DeviceClock& clock)
{
    const qint64 change = plan.lastChange + 1;
    for (const TableMerge& table : plan.tables) {
        if (!m_store.saveRecords(m_userId, table.table(), table.written(), change, m_abandoned))
            return false;
    }
    return m_store.logChange(m_userId, change, QDateTime::currentMSecsSinceEpoch(), clock.clientTime);
}
