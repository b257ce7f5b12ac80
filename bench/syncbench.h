#pragma once

#include <QString>
#include <QVariantList>

// Times the sync: the first and the next syncs of a large book through the real service on loopback, with the
// bytes each way, and the merge of a large answer beside plain inserts of the same rows.
class SyncBench
{
public:
    explicit SyncBench(const QString& folder);

    // Copies the book and syncs the copy with a new account three times: its first sync, a sync with nothing
    // changed and one after ten bills changed.
    void runSyncs(const QString& book, int bills);
    void runMerge(int rows, int repeats);

private:
    // A fresh book made from the initial book, open on the default connection.
    QString freshBook(const QString& name);
    // Bill rows of a service answer, every value as text, in the columns of the local table.
    static QVariantList answerRows(int rows, const QStringList& columns);

    QString m_folder;
};
