#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// The local half of a sync's request: for each synced table the rows changed and the deletions recorded
// since the last sync, every value as text, in the form the service reads.
class SyncChangeSet
{
public:
    // One entry per table, in the order given: the rows and deletions stamped since the last sync and those the
    // journal of pending changes names, whatever their stamps; `sent` gets the number of the journal's latest
    // entry. Rows stamped in the second of the last sync are sent again, because a change made in that second
    // after the sync started would otherwise never be sent; the service keeps what it already holds. A book that
    // has not synced since it was made, restored or reset is sent by its stamps alone: every change of it is
    // stamped later, and the journal holds nothing else but its default records, which every device has. False
    // when a query failed: a change set that silently lacked a table would let the sync time pass over changes
    // that were never sent.
    static bool build(const QStringList& tables, const QString& since, QVariantList& entries, qint64& sent);

    // The text a stored value is sent as: NULL as the empty text, reals with up to 15 significant digits.
    static QString valueText(const QVariant& value);

    // The columns a table shares with the service: all of them in the table's order but the local user_id.
    static QStringList syncedColumns(const QString& table);

private:
    static bool buildEntry(const QString& table, const QString& since, bool withPending, QVariantMap& entry);
};
