#pragma once

#include "recordbatch.h"
#include "recordvalues.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

class AnswerEntry;
class ServiceStore;
class SyncCost;
struct TableChanges;

// One table's part of a merge, decided row by row by stamp: the later stamp wins; on equal stamps what is stored
// stays, except that a received row wins over a stored deletion, as it does on the devices. It reads what the store
// holds of the ids the device sent, works out the records to write, and answers the stored records the device's
// upload lost to. Of several rows the device sent for one id, the first with the latest stamp counts, and of several
// deletions the latest; both then weigh against what is stored, the row first.
class TableMerge
{
public:
    explicit TableMerge(const TableChanges& changes);

    // Decides every id the device sent against what the store holds of it, and adds to `answer` what it lacks,
    // counting in `cost` the bytes of what it reads, among which what it answers with, and of what it writes; false
    // when the store cannot be read, or when the cost has passed its bound or `stopped` says so, as they are asked
    // before each page of lookups. A bounded cost bounds the lookups' reading too: a page that would pass what is
    // left of it is not read.
    bool prepare(const ServiceStore& store, const QString& userId, AnswerEntry& answer, SyncCost& cost,
                 const std::function<bool()>& stopped);
    // The records to write, in the order of the store's key.
    const RecordBatch& written() const { return m_written; }
    // Whether the device sent a row or deletion of the id: prepare() answered for those.
    bool sent(QByteArrayView id) const;
    const QString& table() const;

private:
    // Positions of the device's rows and deletions of one id, -1 for none; an upload is far too small to need more
    // than 32 bits for them.
    struct Sent
    {
        qint32 newestRow = -1;
        qint32 lastRow = -1;
        qint32 newestDeletion = -1;
        qint32 lastDeletion = -1;
    };

    // Which of a stored record's values the merge needs: those of the columns the device sent, to compare with what
    // it sent and to answer with, or those of the others, to keep beside a row it sent that wins.
    enum class Columns
    {
        Sent,
        Others
    };

    // The id of an entry of m_sent: a row's position, or the complement of a deletion's.
    QByteArrayView idOf(qint32 entry) const;
    // What the device sent of the id whose entries start at m_sent[first].
    Sent sentFrom(qsizetype first) const;
    // False when the store cannot be read.
    bool decide(QByteArrayView id, const Sent& sent, const StoredRecord* stored, AnswerEntry& answer, SyncCost& cost);
    // The stored record with the values of the columns the merge needs: as it was read where the reading read all of
    // them, else those alone, read from the store into m_picked, as a record of the size it has in the store. False
    // when the store cannot be read.
    bool withValues(const StoredRecord& stored, Columns columns, StoredRecord& record);
    // Whether the device holds the record as stored: it sent this deletion, or this row in every column it has.
    bool holds(const Sent& sent, const StoredRecord& record);

    const TableChanges& m_changes;
    // The device's rows and deletions in the order of their ids, each id's rows before its deletions and both in
    // the order sent; and where each id's entries start. Two lists of numbers, where a table keyed by id would
    // take many times the room, in many small pieces.
    QList<qint32> m_sent;
    QList<qint32> m_idStarts;
    RecordBatch m_written;
    RecordValues m_values;
    // The store and the account the merge reads, for the values of large records that its lookups left unread.
    const ServiceStore* m_store = nullptr;
    QString m_userId;
    QByteArray m_picked;
};
