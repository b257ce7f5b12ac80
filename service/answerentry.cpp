#include "answerentry.h"

#include "changeset.h"
#include "recordbatch.h"
#include "servicejson.h"

namespace {
// Starts the next item of a list whose items so far are `list`.
QByteArray& nextItem(QByteArray& list)
{
    if (!list.isEmpty())
        list += ", ";
    return list;
}

QByteArray textList(const QByteArrayList& texts)
{
    QByteArray list;
    for (const QByteArray& text : texts)
        ServiceJson::appendString(nextItem(list), text);
    return list;
}
} // namespace

AnswerEntry::AnswerEntry(const TableChanges& changes)
    : m_table(changes.table), m_columns(changes.columns), m_idColumn(changes.idColumn),
      m_versionColumn(changes.versionColumn)
{
}

void AnswerEntry::add(const StoredRecord& record)
{
    if (record.deleted) {
        QByteArray& pair = nextItem(m_deletions) += "[ ";
        ServiceJson::appendString(pair, record.id);
        pair += ", ";
        ServiceJson::appendString(pair, record.version);
        pair += " ]";
        return;
    }
    m_values.read(record.data);
    QByteArray& row = nextItem(m_rows) += "[ ";
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            row += ", ";
        ServiceJson::appendString(row, i == m_idColumn        ? record.id
                                       : i == m_versionColumn ? record.version
                                                              : m_values.value(m_columns.at(i)));
    }
    row += " ]";
}

void AnswerEntry::moveTo(QByteArray& answer)
{
    answer += "{ \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ ";
    answer += m_deletions;
    answer += " ], \"table_name\" : ";
    ServiceJson::appendString(answer, m_table.toUtf8());
    answer += ", \"update_columns\" : [ " + textList(m_columns) + " ], \"update_data\" : [ ";
    answer += m_rows;
    answer += " ] }";
    m_rows = QByteArray();
    m_deletions = QByteArray();
}
