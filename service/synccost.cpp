#include "synccost.h"

#include "changeset.h"
#include "recordbatch.h"

const qint64 SyncCost::cheapRecords = 2000;
const qint64 SyncCost::cheapBytes = 1024 * 1024;

bool SyncCost::addUpload(const ChangeSet& upload)
{
    for (const QString& table : ChangeSet::tableNames())
        m_records += upload.table(table).rows.size() + upload.table(table).deletions.size();
    return !passed();
}

bool SyncCost::addBytes(const StoredRecord& record)
{
    m_bytes += record.wireSize();
    return !passed();
}

bool SyncCost::addAnswered(const StoredRecord& record, qint64 answerBytes)
{
    m_bytes += qMax<qint64>(0, answerBytes - record.wireSize());
    return !passed();
}

void SyncCost::markPassed()
{
    m_records = qMax(m_records, cheapRecords + 1);
}
