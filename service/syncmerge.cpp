#include "syncmerge.h"

#include "answerentry.h"
#include "changeset.h"
#include "seenchanges.h"
#include "servicelog.h"
#include "servicestore.h"

#include <QDateTime>

SyncMerge::SyncMerge(ServiceStore& store, const QString& userId, std::function<bool()> abandoned, bool bounded,
                     std::function<bool()> mayHold)
    : m_store(store), m_userId(userId), m_abandoned(std::move(abandoned)), m_bounded(bounded),
      m_mayHold(std::move(mayHold))
{
}

SyncMerge::Plan SyncMerge::newPlan(const AnswerText& answer) const
{
    return Plan{0, {}, answer.sibling(), SyncCost(m_bounded)};
}

SyncMerge::Outcome SyncMerge::merge(const ChangeSet& upload, const DeviceClock& clock, AnswerText& answer)
{
    // Where the device's last sync lies in the log does not change with the changes of other devices: it is found
    // once, whatever is worked out again.
    Outcome outcome = Outcome::Failed;
    if (SeenChanges::lastSeen(m_store, m_userId, clock, m_seen)) {
        const qint64 forgotten = m_store.forgottenStatements();
        outcome = mergeOnce(upload, clock, answer);
        // A server that forgot the statements prepared on the connection (a reset, a pooler's new session) aborted the
        // transaction, which wrote nothing: with the statements prepared anew, the merge is worked out and written
        // again.
        if (outcome == Outcome::Failed && m_store.forgottenStatements() != forgotten && !m_abandoned())
            outcome = mergeOnce(upload, clock, answer);
    }
    // The connection goes on to other syncs keeping nothing of what this one moved.
    m_store.letGoOfLargeBuffers();
    return outcome;
}

SyncMerge::Outcome SyncMerge::mergeOnce(const ChangeSet& upload, const DeviceClock& clock, AnswerText& answer)
{
    Plan plan = newPlan(answer);
    if (!prepare(upload, plan))
        return plan.cost.passed() ? Outcome::Expensive : Outcome::Failed;
    qsizetype records = 0;
    for (const TableMerge& table : plan.tables)
        records += table.written().size();
    qCDebug(lcTurns).noquote() << QString("a sync has worked out its merge: it writes %1 records").arg(records);
    if (m_mayHold && !m_mayHold())
        return Outcome::Busy;
    if (!m_store.transaction())
        return Outcome::Failed;
    try {
        return mergeInTransaction(upload, clock, plan, answer);
    } catch (...) {
        // The worker's connection goes on serving others: it must not keep the account, or the store, held.
        m_store.rollback();
        throw;
    }
}

SyncMerge::Outcome SyncMerge::mergeInTransaction(const ChangeSet& upload, const DeviceClock& clock, Plan& plan,
                                                 AnswerText& answer)
{
    // Two devices of the account syncing at once, through this process or another, would otherwise both write what
    // they worked out from the state before either wrote, and the later commit would undo the earlier one's newer
    // rows. Holding the account also numbers its changes in the order they become visible.
    const ServiceStore::Hold hold = m_store.lockAccount(m_userId, m_abandoned);
    qint64 last = 0;
    bool merged = hold == ServiceStore::Hold::Held && m_store.lastChange(m_userId, last);
    // Changes that wrote no record, syncs that only asked, leave what was read as it was. What others wrote counts
    // against the bound as the merge is worked out again.
    bool written = false;
    merged = merged && (last == plan.lastChange || m_store.wroteRecords(m_userId, plan.lastChange, last, written));
    if (merged && written) {
        plan = newPlan(answer);
        merged = prepare(upload, plan);
    }
    plan.lastChange = last;
    // A device gone before the commit learns of nothing: what was written goes, and it sends its changes again. The
    // commit itself, once begun, ends as the store makes it.
    if (merged && write(plan, clock) && !m_abandoned() && m_store.commit()) {
        answer = std::move(plan.answer);
        return Outcome::Merged;
    }
    m_store.rollback();
    if (hold == ServiceStore::Hold::Busy)
        return Outcome::Busy;
    return plan.cost.passed() ? Outcome::Expensive : Outcome::Failed;
}

bool SyncMerge::prepare(const ChangeSet& upload, Plan& plan)
{
    // An upload that alone moves more than the bound is sent on before anything is read.
    if (!plan.cost.addUpload(upload))
        return false;
    // The change number first: whatever is read after it may be newer, never older.
    if (!m_store.lastChange(m_userId, plan.lastChange))
        return false;
    std::vector<AnswerEntry> entries;
    for (const QString& table : ChangeSet::tableNames()) {
        entries.emplace_back(upload.table(table), plan.answer);
        plan.tables.emplace_back(upload.table(table));
    }
    // The records changed since the device's last sync are read before the upload's are looked up: with what the
    // upload left of the bound, which a sync whose last sync the store cannot place passes at once, before the
    // lookups read anything. What the device sent is answered by its table. Reading stops once the answer has no
    // room left, no device to go to, or would pass the bound.
    const auto changed = [this, &plan, &entries](const QString& table, const StoredRecord& record) {
        plan.cost.addBytes(record);
        const qsizetype at = ChangeSet::tableNames().indexOf(table);
        if (at >= 0 && !plan.tables.at(at).sent(record.id))
            plan.cost.addAnswered(record, entries.at(at).add(record));
        return !plan.answer.failed() && !m_abandoned() && !plan.cost.passed();
    };
    std::optional<ServiceStore::ReadBound> bound;
    if (plan.cost.bounded())
        bound = ServiceStore::ReadBound{plan.cost.recordsLeft(), plan.cost.bytesLeft()};
    bool whole = true;
    if (!m_store.changedRecords(m_userId, m_seen, plan.lastChange + 1, bound, whole, changed))
        return false;
    if (!whole)
        plan.cost.markPassed();
    if (plan.cost.passed() || m_abandoned())
        return false;
    for (std::size_t i = 0; i < plan.tables.size(); ++i) {
        if (!plan.tables.at(i).prepare(m_store, m_userId, entries.at(i), plan.cost, m_abandoned))
            return false;
    }

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
