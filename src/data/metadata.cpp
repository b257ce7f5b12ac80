#include "data/metadata.h"

MetaData::MetaData(QObject* parent) : QObject(parent) {}

void MetaData::add(const QString& label, const QString& code)
{
    m_list.append(qMakePair(label, code));
    m_codes.insert(label, code);
    m_labels.insert(code, label);
}

QString MetaData::getCode(const QString& label) const
{
    return m_codes.value(label);
}

QString MetaData::getLabel(const QString& code) const
{
    return m_labels.value(code);
}

QList<QPair<QString, QString>> MetaData::getList() const
{
    return m_list;
}

int MetaData::count() const
{
    return m_list.count();
}
