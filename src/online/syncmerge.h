#pragma once

#include "online/syncanswer.h"

#include <QDateTime>
#include <QList>
#include <QSqlQuery>
#include <QString>

// Applies the service's change set to the open book: per row the later stamp wins, a received deletion
// removes an older row, master records that bills still name come back, and the sync time moves on. All of
// it in one transaction: either the whole answer is applied or the book stays as it was.
class SyncMerge
{
public:
    // The master tables whose deleted records are brought back while bills name them.
    static const QStringList& repairedTables();

    // Applies the entries and writes the sync time; false, with the book unchanged, when any step failed.
    static bool apply(const QList<SyncAnswer::Entry>& entries, const QDateTime& startTime);

    // Brings back the records of the table (named without "tbl_") that only its deletion twin holds while a
    // bill names them, stamped now so that the next sync sends them again, and drops twins of live records.
    static bool restoreReferencedDeleted(const QString& table);

private:
    explicit SyncMerge(const SyncAnswer::Entry& entry);
    bool prepare();
    bool applyRow(const QStringList& row);
    bool applyDeletion(const QString& id, const QString& stamp);
    // The version stamp stored for the id in the query's table, or a null text when there is none.
    bool versionOf(QSqlQuery& query, const QString& id, QString& version);

    const SyncAnswer::Entry& m_entry;
    QSqlQuery m_rowVersion;
    QSqlQuery m_twinVersion;
    QSqlQuery m_update;
    QSqlQuery m_insert;
    QSqlQuery m_twinRemoval;
    QSqlQuery m_deletion;
    QSqlQuery m_twinStamp;
};
