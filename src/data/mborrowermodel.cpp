#include "data/mborrowermodel.h"

#include "data/recordsql.h"

MBorrowerModel::MBorrowerModel(QObject* parent) : MRecordTableModel(parent)
{
    headers << tr("借款人名称") << tr("余额") << tr("借款人说明");
    m_borrowers = *MBorrower::getBorrowerList();
}

int MBorrowerModel::recordCount() const
{
    return m_borrowers.size();
}

MBorrower* MBorrowerModel::getBorrower(int row) const
{
    return m_borrowers.value(row);
}

bool MBorrowerModel::addBorrower(MBorrower* borrower)
{
    // The rows change only with the book, so that the view never shows a borrower the book does not hold.
    if (!MBorrower::insert(borrower))
        return false;
    beginInsertRows(QModelIndex(), m_borrowers.size(), m_borrowers.size());
    m_borrowers.append(borrower);
    endInsertRows();
    return true;
}

bool MBorrowerModel::removeBorrower(MBorrower* borrower)
{
    const int row = m_borrowers.indexOf(borrower);
    if (row < 0 || !MBorrower::remove(borrower))
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_borrowers.removeAt(row);
    endRemoveRows();
    return true;
}

void MBorrowerModel::updateBorrower(MBorrower* borrower)
{
    const int row = RecordSql::indexById(m_borrowers, borrower->getId());
    if (row < 0)
        return;
    beginResetModel();
    m_borrowers[row] = borrower;
    endResetModel();
}

const void* MBorrowerModel::recordAt(int row) const
{
    return m_borrowers.value(row);
}

QString MBorrowerModel::text(int row, int column) const
{
    const MBorrower* borrower = m_borrowers.at(row);
    switch (column) {
    case 0:
        return borrower->getName();
    case 1:
        return money(borrower->getBalance());
    default:
        return borrower->getDescription();
    }
}
