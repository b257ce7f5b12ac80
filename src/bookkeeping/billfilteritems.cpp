#include "bookkeeping/billfilteritems.h"

#include "data/constants.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/metadata.h"
#include "data/mmember.h"

#include <QStandardItemModel>

namespace {
template <typename Record> FilterBox::Items recordItems(const QString& first, const QList<Record*>& records)
{
    FilterBox::Items items{{first, QString("")}};
    for (const Record* record : records)
        items.append({record->getName(), record->getId()});
    return items;
}

QStandardItem* item(const QString& text, const QString& data)
{
    auto* item = new QStandardItem(text);
    item->setData(data, Qt::UserRole);
    return item;
}
} // namespace

FilterBox::Items BillFilterItems::kinds()
{
    FilterBox::Items items{{tr("所有类型"), QString("")}};
    for (const auto& kind : Constants::getInstance()->getBillKinds()->getList())
        items.append({kind.first, kind.second});
    return items;
}

FilterBox::Items BillFilterItems::months()
{
    FilterBox::Items items{{tr("所有日期"), monthAll}, {tr("日期区间"), monthPeriod}};
    for (int month : MBill::getMonthList())
        items.append({QString::number(month), month});
    return items;
}

FilterBox::Items BillFilterItems::accounts()
{
    return recordItems(tr("所有账户"), *MAccount::get());
}

FilterBox::Items BillFilterItems::borrowers()
{
    return recordItems(tr("所有借款人"), *MBorrower::getBorrowerList());
}

FilterBox::Items BillFilterItems::members()
{
    return recordItems(tr("所有成员"), *MMember::getMemberList());
}

QStandardItemModel* BillFilterItems::categories(QObject* parent)
{
    auto* model = new QStandardItemModel(parent);
    model->appendRow(item(tr("所有分类"), ""));
    buildCategoryModel(model, "expense");
    buildCategoryModel(model, "income");
    return model;
}

void BillFilterItems::buildCategoryModel(QStandardItemModel* model, const QString& kind)
{
    QStandardItem* root = item(Constants::getInstance()->getCategoryKinds()->getLabel(kind) + "        ", kind);
    model->appendRow(root);
    for (const MCategory* category : *MCategory::getCategoryList(kind)) {
        QStandardItem* categoryItem = item(category->getName(), "c" + category->getId());
        for (const MCategory* sub : category->getChildren())
            categoryItem->appendRow(item(sub->getName(), "s" + sub->getId()));
        root->appendRow(categoryItem);
    }
}
