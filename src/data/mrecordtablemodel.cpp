#include "data/mrecordtablemodel.h"

#include "data/money.h"

MRecordTableModel::MRecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

QModelIndex MRecordTableModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const void* record = recordAt(row);
    return record ? createIndex(row, column, record) : QModelIndex();
}

int MRecordTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : recordCount();
}

int MRecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

QVariant MRecordTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.column() >= headers.size())
        return QVariant();
    return text(index.row(), index.column());
}

QVariant MRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString MRecordTableModel::money(double value)
{
    return QString::number(Money::toCents(value), 'f', 2);
}
