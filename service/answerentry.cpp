#include "answerentry.h"

#include "changeset.h"
#include "recordbatch.h"
#include "servicejson.h"

namespace {
// Starts the next item of a list that holds `size` bytes of items so far, in the room of the last one.
QByteArray& nextItem(QByteArray& item, qint64 size)
{
    item.resize(0);
    if (size > 0)
        item += ", ";
    return item;
}

QByteArray textList(const QByteArrayList& texts)
{
    QByteArray list;
    for (const QByteArray& text : texts) {
        if (!list.isEmpty())
            list += ", ";
        ServiceJson::appendString(list, text);
    }
    return list;
}
} // namespace

AnswerEntry::AnswerEntry(const TableChanges& changes, const AnswerText& like)
    : m_table(changes.table), m_columns(changes.columns), m_idColumn(changes.idColumn),
      m_versionColumn(changes.versionColumn), m_rows(like.sibling()), m_deletions(like.sibling())
{
}

qint64 AnswerEntry::add(const StoredRecord& record)
{
    if (record.deleted) {
        QByteArray& pair = nextItem(m_item, m_deletions.size()) += "[ ";
        ServiceJson::appendString(pair, record.id);
        pair += ", ";
        ServiceJson::appendString(pair, record.version);
        pair += " ]";
        m_deletions.append(pair);
        return pair.size();
    }
    m_values.read(record.data);
    QByteArray& row = nextItem(m_item, m_rows.size()) += "[ ";
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            row += ", ";
        ServiceJson::appendString(row, i == m_idColumn        ? record.id
                                       : i == m_versionColumn ? record.version
                                                              : m_values.value(m_columns.at(i)));
    }
    row += " ]";
    m_rows.append(row);
    return row.size();
}

void AnswerEntry::moveTo(AnswerText& answer)
{
    answer.append("{ \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ ");
    answer.take(std::move(m_deletions));
    QByteArray middle = " ], \"table_name\" : ";
    ServiceJson::appendString(middle, m_table.toUtf8());
    answer.append(middle + ", \"update_columns\" : [ " + textList(m_columns) + " ], \"update_data\" : [ ");
    answer.take(std::move(m_rows));
    answer.append(" ] }");
}
