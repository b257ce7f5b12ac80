#include "data/mcategorymodel.h"

#include "data/constants.h"
#include "data/metadata.h"

MCategoryModel::MCategoryModel(const QString& kind, QObject* parent)
    : QAbstractItemModel(parent), kind(kind), root(new MCategory), icon(":/rc/images/IcoCategory.png")
{
    init();
}

void MCategoryModel::init()
{
    headers << tr("分类名称") << tr("分类类型") << tr("分类说明");
    for (MCategory* category : *MCategory::getCategoryList(kind))
        root->addChild(category);
}

MCategory* MCategoryModel::getCategory(int row) const
{
    return root->getChildren().value(row);
}

MCategory* MCategoryModel::itemOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<MCategory*>(index.internalPointer()) : root.get();
}

QModelIndex MCategoryModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    MCategory* child = itemOf(parent)->getChildren().value(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex MCategoryModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    const QList<MCategory*> topLevel = root->getChildren();
    MCategory* item = itemOf(index);
    if (topLevel.contains(item))
        return QModelIndex();
    // A sub-category's parent link is set by the cache build and names its category.
    MCategory* category = item->getParent();
    const int row = topLevel.indexOf(category);
    return row < 0 ? QModelIndex() : createIndex(row, 0, category);
}

int MCategoryModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return itemOf(parent)->getChildren().size();
}

int MCategoryModel::columnCount(const QModelIndex&) const
{
    return headers.size();
}

QVariant MCategoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const MCategory* item = itemOf(index);
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0:
            return item->getName();
        case 1:
            return Constants::getInstance()->getCategoryKinds()->getLabel(item->getKind());
        case 2:
            return item->getDescription();
        default:
            return QVariant();
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0 && rowCount(index) != 0)
        return icon;
    return QVariant();
}

QVariant MCategoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers.value(section);
    return QAbstractItemModel::headerData(section, orientation, role);
}
