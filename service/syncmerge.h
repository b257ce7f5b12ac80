#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantList>

class ChangeSet;
class ServiceStore;
struct StoredRecord;
struct TableChanges;

// Merges one device's upload into the account's store, row by row by stamp, and answers with the account's whole
// state in the device's own columns. The stamp of the later change wins; on equal stamps what is stored stays,
// except that a received row wins over a stored deletion, as it does on the devices.
class SyncMerge
{
public:
    SyncMerge(ServiceStore& store, const QString& userId);

    // Applies the upload in one transaction that holds the account against other syncs of it, and fills the answer;
    // false, with nothing changed, when the store fails.
    bool merge(const ChangeSet& upload, QVariantList& answer);

    // Applies a table's changes to its stored state and returns the records that changed.
    static QList<StoredRecord> apply(QMap<QString, StoredRecord>& state, const TableChanges& changes);

private:
    bool mergeTable(const TableChanges& changes, QVariantList& answer);

    ServiceStore& m_store;
    QString m_userId;
};
