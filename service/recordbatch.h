#pragma once

#include "textrows.h"

#include <QByteArrayView>
#include <QList>

// One synced row of an account as stored: live, with its columns in `data` as a JSON object of texts, or a deletion
// stamp. The texts are UTF-8 and belong to whoever hands the record out.
struct StoredRecord
{
    // The bytes the record takes in an answer, as far as it is the record's own: its id and stamp as JSON strings
    // and its values as the store keeps them, the JSON object whose texts an answer sends in the device's columns.
    // What a sync costs counts this, and the store keeps it beside the record to count without reading the values.
    qint64 wireSize() const;
    // Whether `data` holds all of the record's values, rather than some or none of them.
    bool allValues() const { return storedSize < 0; }

    QByteArrayView id;
    QByteArrayView version;
    bool deleted = false;
    QByteArrayView data;
    // The size the store keeps beside the record (wireSize()) where `data` holds some of its values or none, as a
    // reading left them unread; -1 where it holds all of them, from which the size is counted.
    qint64 storedSize = -1;
};

// Stored records kept together in one buffer, as read from the store or to be written to it.
class RecordBatch
{
public:
    void append(const StoredRecord& record);
    // Appends a live record whose data `writeData` appends to the buffer it is handed: a large record's values are
    // written once, where they stay, instead of apart and then copied.
    template <typename Write> void appendLive(QByteArrayView id, QByteArrayView version, Write writeData)
    {
        m_texts.appendCell(id);
        m_texts.appendCell(version);
        writeData(m_texts.text());
        m_texts.endCell();
        m_texts.endRow();
        m_deleted.append(false);
        m_storedSizes.append(-1);
    }
    qsizetype size() const { return m_texts.size(); }
    // The record, valid until the batch is changed.
    StoredRecord at(qsizetype index) const
    {
        return StoredRecord{m_texts.at(index, 0), m_texts.at(index, 1), m_deleted.at(index), m_texts.at(index, 2),
                            m_storedSizes.at(index)};
    }
    void clear();

private:
    TextRows m_texts{3};
    QList<bool> m_deleted;
    QList<qint64> m_storedSizes;
};
