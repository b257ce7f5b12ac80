#pragma once

#include <QString>

class ChangeSet;
class ServiceStore;
struct DeviceClock;

// What a sync will have the store do, asked before any of its work that grows with the account: the records its
// answer sends, those since the device's last sync as the log places it (the whole account when it cannot), and the
// records of its upload, each written or answered for.
class SyncCost
{
public:
    // The most records a sync in the cheap line moves: two pages of an answer, some 15 ms of the store's work where a
    // first sync of 69,000 records takes half a second, and many times what a device that syncs daily moves.
    static const qint64 cheapRecords;

    // Whether the sync moves no more than cheapRecords, in `cheap`; false when the store cannot be read.
    static bool isCheap(const ServiceStore& store, const QString& userId, const DeviceClock& clock,
                        const ChangeSet& upload, bool& cheap);
};
