#pragma once

#include "answertext.h"
#include "recordvalues.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

struct StoredRecord;
struct TableChanges;

// One table's entry of a sync's answer, written as JSON text as its records come, in the device's own columns: a
// large answer goes to its file as it grows, in the text it is sent as. Its form is the program's JSON writer's,
// control characters escaped as the service escapes them (ServiceJson): a map with the keys in order, a blank inside
// each bracket, ", " between items and " : " after a name.
class AnswerEntry
{
public:
    // The entry's texts go to the file of the answer `like`.
    AnswerEntry(const TableChanges& changes, const AnswerText& like);

    // Adds a stored record: a live one as a row of texts, "" in a column it lacks; a deletion as its id and stamp.
    // The bytes the record takes in the answer.
    qint64 add(const StoredRecord& record);
    // Appends the whole entry and lets go of its rows.
    void moveTo(AnswerText& answer);
    // Whether the answer's file has failed.
    bool failed() const { return m_rows.failed(); }

private:
    QString m_table;
    QByteArrayList m_columns;
    int m_idColumn;
    int m_versionColumn;
    AnswerText m_rows;
    AnswerText m_deletions;
    // The item being written.
    QByteArray m_item;
    RecordValues m_values;
};
