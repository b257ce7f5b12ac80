#pragma once

#include "recordvalues.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

struct StoredRecord;
struct TableChanges;

// One table's entry of a sync's answer, written as JSON text as its records come, in the device's own columns: a
// large answer is held once, as the text it is sent as. Its form is the program's JSON writer's, control characters
// escaped as the service escapes them (ServiceJson): a map with the keys in order, a blank inside each bracket, ", "
// between items and " : " after a name.
class AnswerEntry
{
public:
    explicit AnswerEntry(const TableChanges& changes);

    // Adds a stored record: a live one as a row of texts, "" in a column it lacks; a deletion as its id and stamp.
    void add(const StoredRecord& record);
    // Appends the whole entry and lets go of its rows.
    void moveTo(QByteArray& answer);
    // About the bytes the entry takes in an answer.
    qsizetype size() const { return m_rows.size() + m_deletions.size() + 256; }

private:
    QString m_table;
    QByteArrayList m_columns;
    int m_idColumn;
    int m_versionColumn;
    QByteArray m_rows;
    QByteArray m_deletions;
    RecordValues m_values;
};
