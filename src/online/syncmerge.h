#pragma once

#include "online/syncanswer.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Applies the service's change set to the open book: per row the later stamp wins, a received deletion
// removes an older row, master records that bills still name come back, and the sync time moves on. All of
// it in one transaction: either the whole answer is applied or the book stays as it was.
//
// The received rows and deletions of a table go into temporary tables first; a few statements then compare
// them with the book's rows and deletion twins and write what wins, however many rows there are.
class SyncMerge
{
public:
    // The master tables whose deleted records are brought back while bills name them.
    static const QStringList& repairedTables();

    // Applies the entries, drops the pending changes up to `pendingSent`, which the upload carried, and writes the
    // sync time; false, with the book unchanged, when any step failed.
    static bool apply(const QList<SyncAnswer::Entry>& entries, const QDateTime& startTime, qint64 pendingSent);

    // Brings back the records of the table (named without "tbl_") that only its deletion twin holds while a
    // bill names them, and drops twins of live records. A record brought back is stamped now, or a second after
    // its deletion when that is later, so that the next sync sends it again and the service takes it back.
    static bool restoreReferencedDeleted(const QString& table);

private:
    explicit SyncMerge(const SyncAnswer::Entry& entry);
    bool applyRows();
    // The statement by which a received row replaces a local row of the same stamp whose values differ; empty when
    // the entry carries no values but its id and stamp.
    QString tieStatement() const;
    bool applyDeletions();

    const SyncAnswer::Entry& m_entry;
    const QString m_table;
    const QString m_twin;
};
