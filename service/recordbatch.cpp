#include "recordbatch.h"

#include "servicejson.h"

qint64 StoredRecord::wireSize() const
{
    return allValues() ? ServiceJson::stringSize(id) + ServiceJson::stringSize(version) + data.size() : storedSize;
}

void RecordBatch::append(const StoredRecord& record)
{
    m_texts.appendCell(record.id);
    m_texts.appendCell(record.version);
    m_texts.appendCell(record.data);
    m_texts.endRow();
    m_deleted.append(record.deleted);
    m_storedSizes.append(record.storedSize);
}

void RecordBatch::clear()
{
    m_texts.clear();
    m_deleted.clear();
    m_storedSizes.clear();
}
