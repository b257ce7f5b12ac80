#include "data/mmembermodel.h"

MMemberModel::MMemberModel(QObject* parent) : MRecordTableModel(parent)
{
    headers << tr("成员名称") << tr("成员说明");
    m_members = *MMember::getMemberList();
}

int MMemberModel::recordCount() const
{
    return m_members.size();
}

MMember* MMemberModel::getMember(int row) const
{
    return m_members.value(row);
}

const void* MMemberModel::recordAt(int row) const
{
    return m_members.value(row);
}

QString MMemberModel::text(int row, int column) const
{
    const MMember* member = m_members.at(row);
    return column == 0 ? member->getName() : member->getDescription();
}
