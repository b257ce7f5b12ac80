#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantList>

class ChangeSet;
class ServiceStore;
struct DeviceClock;
struct StoredRecord;
struct TableChanges;

// Merges one device's upload into the account's store, row by row by stamp, and answers in the device's own columns
// with what it lacks: the records changed since its last sync and the stored ones its upload lost to. The stamp of
// the later change wins; on equal stamps what is stored stays, except that a received row wins over a stored
// deletion, as it does on the devices.
class SyncMerge
{
public:
    SyncMerge(ServiceStore& store, const QString& userId);

    // Applies the upload in one transaction that holds the account against other syncs of it and logs it as the
    // account's next change, then fills the answer; false, with nothing changed, when the store fails.
    bool merge(const ChangeSet& upload, const DeviceClock& clock, QVariantList& answer);

    // Applies a table's changes to its stored state and returns the records that changed.
    static QList<StoredRecord> apply(QHash<QString, StoredRecord>& state, const TableChanges& changes);

private:
    bool mergeLocked(const ChangeSet& upload, const DeviceClock& clock, QVariantList& answer);
    // Applies the table's changes as the numbered change; `kept` receives the stored records of the ids the device
    // sent that stay as they were.
    bool mergeTable(const TableChanges& changes, qint64 change, QMap<QString, StoredRecord>& kept);

    ServiceStore& m_store;
    QString m_userId;
};
