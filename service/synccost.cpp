#include "synccost.h"

#include "changeset.h"
#include "seenchanges.h"
#include "servicestore.h"

const qint64 SyncCost::cheapRecords = 2000;

bool SyncCost::isCheap(const ServiceStore& store, const QString& userId, const DeviceClock& clock,
                       const ChangeSet& upload, bool& cheap)
{
    qint64 records = 0;
    for (const QString& table : ChangeSet::tableNames())
        records += upload.table(table).rows.size() + upload.table(table).deletions.size();
    cheap = records <= cheapRecords;
    if (!cheap)
        return true;
    qint64 seen = -1;
    qint64 sent = 0;
    if (!SeenChanges::lastSeen(store, userId, clock, seen) ||
        !store.countChanged(userId, seen, cheapRecords - records + 1, sent))
        return false;
    cheap = records + sent <= cheapRecords;
    return true;
}
