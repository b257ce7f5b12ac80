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

    QByteArrayView id;
    QByteArrayView version;
    bool deleted = false;
    QByteArrayView data;
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
    }
    qsizetype size() const { return m_texts.size(); }
    // The record, valid until the batch is changed.
    StoredRecord at(qsizetype index) const
    {
        return StoredRecord{m_texts.at(index, 0), m_texts.at(index, 1), m_deleted.at(index), m_texts.at(index, 2)};
    }
    void clear();

private:
    TextRows m_texts{3};
    QList<bool> m_deleted;
};
