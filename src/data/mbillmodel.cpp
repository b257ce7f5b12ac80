#include "data/mbillmodel.h"

#include "data/filesetting.h"
#include "data/mbilltext.h"

#include <QFont>
#include <QIcon>

namespace {
const int automaticPageSize = 20;
const int columns = 5;
} // namespace

MBillModel::MBillModel(QObject* parent) : QAbstractTableModel(parent)
{
    headerList = QStringList{"Category", "Amount", "Account", "Desc", "Remove"};
    m_root = MBillPtr::create();
    m_root->setGroup(false);
    // "0" means automatic; anything else that is no positive number is taken as automatic too.
    const int stored = FileSetting::getInstance()->getPageSize().toInt();
    m_pageSize = stored > 0 ? stored : automaticPageSize;
    condition = " 1=1 ";
}

MBillModel::~MBillModel() = default;

void MBillModel::setCondition(const QString& condition)
{
    this->condition = condition;
    repopulate();
}

void MBillModel::setPageIndex(int pageIndex)
{
    if (pageIndex == m_pageIndex)
        return;
    m_pageIndex = pageIndex;
    repopulate();
}

void MBillModel::setPageSize(int pageSize)
{
    const int size = pageSize > 0 ? pageSize : automaticPageSize;
    if (size == m_pageSize)
        return;
    m_pageSize = size;
    repopulate();
}

void MBillModel::refresh()
{
    repopulate();
}

int MBillModel::changePage(const QString& action)
{
    beginResetModel();
    if (action == "first")
        m_pageIndex = 0;
    else if (action == "prev")
        --m_pageIndex;
    else if (action == "next")
        ++m_pageIndex;
    else if (action == "last")
        m_pageIndex = m_pageCount - 1;
    populateModel();
    endResetModel();
    return m_pageIndex;
}

int MBillModel::getPageCount() const
{
    return m_pageCount;
}

int MBillModel::getPageIndex() const
{
    return m_pageIndex;
}

MBillListPtr MBillModel::getBillList() const
{
    return billList;
}

MBillPtr MBillModel::getGroup(int i) const
{
    return m_root->getChildren()->value(i);
}

int MBillModel::getGroupCount() const
{
    return m_root->getChildren()->size();
}

void MBillModel::repopulate()
{
    beginResetModel();
    populateModel();
    endResetModel();
}

void MBillModel::populateModel()
{
    headerList = QStringList{tr("分类/借款人/转入账户"), tr("金额"), tr("账户"), tr("成员"), tr("标题/描述")};
    // Let go of the previous list first, so that a filter change never holds two whole lists at once.
    billList.reset();
    billList = MBill::get(condition);
    const int n = billList->size();
    m_pageCount = n == 0 ? 1 : (n - 1) / m_pageSize + 1;
    // Dropping the groups lets go of the previous page's bills; a bill that stays cached names no live group.
    m_root->getChildren()->clear();
    m_pageIndex = qBound(0, m_pageIndex, m_pageCount - 1);

    MBillPtr group;
    const int end = qMin((m_pageIndex + 1) * m_pageSize, n);
    for (int i = m_pageIndex * m_pageSize; i < end; ++i) {
        const MBillPtr& bill = billList->at(i);
        if (!group || group->getDate() != bill->getDate()) {
            group = MBillPtr::create();
            group->setDate(bill->getDate());
            group->setGroup(true);
            group->setParent(m_root);
            m_root->getChildren()->append(group);
        }
        bill->setGroup(false);
        bill->setParent(group);
        group->getChildren()->append(bill);
    }
}

MBill* MBillModel::nodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<MBill*>(index.internalPointer()) : m_root.data();
}

QModelIndex MBillModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, nodeAt(parent)->getChildren()->at(row).data());
}

QModelIndex MBillModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    MBill* node = nodeAt(index);
    if (node->isGroup())
        return QModelIndex();
    const MBillPtr group = node->getParent();
    const int row = m_root->getChildren()->indexOf(group);
    return row < 0 ? QModelIndex() : createIndex(row, 0, group.data());
}

int MBillModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return nodeAt(parent)->getChildren()->size();
}

int MBillModel::columnCount(const QModelIndex&) const
{
    return columns;
}

bool MBillModel::hasChildren(const QModelIndex& parent) const
{
    return QAbstractItemModel::hasChildren(parent);
}

QModelIndex MBillModel::sibling(int row, int column, const QModelIndex& index) const
{
    return QAbstractItemModel::sibling(row, column, index);
}

QVariant MBillModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headerList.size())
        return headerList.at(section);
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags MBillModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Not the table base's flags: those mark every item as never having children.
    const Qt::ItemFlags base = QAbstractItemModel::flags(index);
    return nodeAt(index)->isGroup() ? base & ~Qt::ItemIsSelectable : base;
}

QVariant MBillModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    MBill* node = nodeAt(index);
    return node->isGroup() ? groupData(node, index.column(), role) : billData(node, index.column(), role);
}

QVariant MBillModel::groupData(MBill* group, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return MBillText::dayText(group->getDate());
        if (column == 4)
            return MBillText::sumsText(group);
        return QVariant();
    case Qt::DecorationRole:
        if (column == 0)
            return QIcon(group->isExpanded() ? ":/rc/images/BtnTreeOpen.png" : ":/rc/images/BtnTreeClosed.png");
        return QVariant();
    case Qt::FontRole: {
        QFont font;
        font.setBold(true);
        return font;
    }
    case Qt::TextAlignmentRole:
        if (column == 4)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant MBillModel::billData(MBill* bill, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return MBillText::cellText(bill, column);
    case Qt::DecorationRole:
        if (column == 0)
            return MBillText::kindIcon(bill->getKind());
        return QVariant();
    case Qt::ToolTipRole:
        return MBillText::toolTip(bill);
    default:
        return QVariant();
    }
}
