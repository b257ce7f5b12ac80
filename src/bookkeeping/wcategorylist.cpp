#include "bookkeeping/wcategorylist.h"

#include "bookkeeping/dcategory.h"
#include "data/mcategory.h"
#include "data/mcategorymodel.h"
#include "data/recordsql.h"
#include "data/witemdelegate.h"
#include "ui_wcategorylist.h"
#include "widgets/columnwidths.h"
#include "widgets/dmessagebox.h"
#include "widgets/pagereloader.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QShortcut>
#include <algorithm>
#include <memory>

WCategoryList::WCategoryList(QWidget* parent) : WBaseWidget(parent), ui(new Ui::WCategoryList)
{
    ui->setupUi(this);
    currentView = ui->tvExpenseList;
    ui->twCategoryList->setCurrentIndex(0);
    for (QWidget* button : {ui->pbCreateExpenseCategory, ui->pbCreateExpenseSubCategory, ui->pbCreateIncomeCategory,
                            ui->pbCreateIncomeSubCategory})
        button->setProperty("style", "green");
    for (QWidget* button : {ui->pbMoveNext, ui->pbMovePrevious, ui->pbModify, ui->pbRemove})
        button->setProperty("style", "blue");

    for (QTreeView* view : {ui->tvExpenseList, ui->tvIncomeList}) {
        view->setItemDelegate(new WItemDelegate);
        connect(view, &QAbstractItemView::clicked, this, &WCategoryList::refreshMoveButtons);
        connect(view, &QAbstractItemView::doubleClicked, this, &WCategoryList::on_pbModify_clicked);
        // Fires while the tree is visible in the active window, whichever widget of the page has the focus.
        QShortcut* remove = new QShortcut(QKeySequence::Delete, view);
        connect(remove, &QShortcut::activated, this, &WCategoryList::on_pbRemove_clicked);
    }
    reloader = new PageReloader(this, {&Notifier::categoryDataChanged});
}

WCategoryList::~WCategoryList()
{
    delete ui;
}

void WCategoryList::setModel(QTreeView* view, MCategoryModel*& model, const QString& modelKind)
{
    MCategoryModel* oldModel = model;
    QItemSelectionModel* oldSelection = view->selectionModel();
    model = new MCategoryModel(modelKind, this);
    view->setModel(model);
    delete oldSelection;
    delete oldModel;
    view->expandAll();
}

void WCategoryList::bind()
{
    reloader->reloaded();
    setModel(ui->tvExpenseList, expenseModel, "expense");
    setModel(ui->tvIncomeList, incomeModel, "income");
    ColumnWidths::apply(ui->tvExpenseList->header(), "ExpenseCategoryList", {200, 100});
    ColumnWidths::apply(ui->tvIncomeList->header(), "IncomeCategoryList", {200, 100});
}

void WCategoryList::on_twCategoryList_currentChanged(int index)
{
    kind = index == 0 ? "expense" : "income";
    currentView = index == 0 ? ui->tvExpenseList : ui->tvIncomeList;
}

MCategory* WCategoryList::currentRecord(const QModelIndex& index)
{
    const MCategory* shown = static_cast<const MCategory*>(index.internalPointer());
    if (!shown)
        return nullptr;
    return shown->getCategoryId().isEmpty() ? MCategory::getCategoryById(shown->getId())
                                            : MCategory::getSubCategoryById(shown->getId());
}

QList<MCategory*> WCategoryList::siblingsOf(const MCategory* category)
{
    if (category->getCategoryId().isEmpty())
        return *MCategory::getCategoryList(category->getKind() == "expense" ? "expense" : "income");
    const MCategory* owner = MCategory::getCategoryById(category->getCategoryId());
    return owner ? owner->getChildren() : QList<MCategory*>();
}

MCategory* WCategoryList::getSelectedCategory() const
{
    const QModelIndexList selected = currentView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : currentRecord(selected.first());
}

void WCategoryList::refreshMoveButtons()
{
    const MCategory* category = getSelectedCategory();
    const QList<MCategory*> siblings = category ? siblingsOf(category) : QList<MCategory*>();
    const int position = category ? RecordSql::indexById(siblings, category->getId()) : -1;
    ui->pbMovePrevious->setEnabled(category && position != 0);
    ui->pbMoveNext->setEnabled(category && position != siblings.size() - 1);
}

void WCategoryList::create(const QString& categoryKind, bool subCategory, int tab)
{
    DCategory dialog(categoryKind, this, subCategory, QString());
    if (dialog.exec() == QDialog::Accepted)
        bind();
    ui->twCategoryList->setCurrentIndex(tab);
}

void WCategoryList::on_pbCreateExpenseCategory_clicked()
{
    create("expense", false, 0);
}

void WCategoryList::on_pbCreateExpenseSubCategory_clicked()
{
    create("expense", true, 0);
}

void WCategoryList::on_pbCreateIncomeCategory_clicked()
{
    create("income", false, 1);
}

void WCategoryList::on_pbCreateIncomeSubCategory_clicked()
{
    create("income", true, 1);
}

void WCategoryList::on_pbModify_clicked()
{
    MCategory* category = getSelectedCategory();
    if (!category)
        return;
    DCategory dialog(kind, this, !category->getCategoryId().isEmpty(), QString());
    dialog.setCategory(category);
    if (dialog.exec() == QDialog::Accepted)
        bind();
}

void WCategoryList::on_pbRemove_clicked()
{
    QList<QPair<QString, bool>> chosen; // id, and whether it is a sub-category
    for (const QModelIndex& index : currentView->selectionModel()->selectedRows(0))
        if (const MCategory* shown = static_cast<const MCategory*>(index.internalPointer()))
            chosen.append({shown->getId(), !shown->getCategoryId().isEmpty()});

    QList<MCategory*> removable;
    for (const auto& [id, sub] : std::as_const(chosen)) {
        MCategory* category = sub ? MCategory::getSubCategoryById(id) : MCategory::getCategoryById(id);
        if (!category)
            continue;
        if (!sub && !category->getChildren().isEmpty())
            DMessageBox::information(this, tr("删除失败"), tr("当前大分类下存在小分类，请先删除小分类。"));
        else if (category->getBillCount() > 0)
            DMessageBox::information(this, tr("删除失败"), tr("已经有账目使用了这个分类，您不能删除此分类。"));
        else
            removable << category;
    }
    if (removable.isEmpty())
        return;
    // The records stay valid when a removal drops the cache.
    const bool removed = RecordSql::allOrNothing([&removable] {
        return std::all_of(removable.cbegin(), removable.cend(),
                           [](MCategory* category) { return category->remove(); });
    });
    if (removed)
        bind();
    else
        DMessageBox::error(this, tr("删除失败，选中的分类都没有删除，请重试。"));
}

void WCategoryList::on_pbMovePrevious_clicked()
{
    move(-1);
}

void WCategoryList::on_pbMoveNext_clicked()
{
    move(1);
}

void WCategoryList::move(int step)
{
    const MCategory* category = getSelectedCategory();
    if (!category)
        return;
    const QString id = category->getId();
    const QString parentId = category->getCategoryId();
    QList<MCategory*> siblings = siblingsOf(category);
    const int position = RecordSql::indexById(siblings, id);
    if (position < 0 || position + step < 0 || position + step >= siblings.size())
        return;
    // Numbering the siblings afresh makes the swap take effect whatever positions were stored.
    siblings.swapItemsAt(position, position + step);
    const bool renumbered = RecordSql::allOrNothing([&siblings] {
        for (int i = 0; i < siblings.size(); ++i)
            if (!MCategory::updateSort(siblings.at(i), i + 1))
                return false;
        return true;
    });
    if (!renumbered)
        DMessageBox::error(this, tr("移动失败，顺序没有改变，请重试。"));
    MCategory::clearCache();
    bind();

    QAbstractItemModel* model = currentView->model();
    QModelIndex parent;
    if (!parentId.isEmpty())
        parent = model->index(RecordSql::indexById(*MCategory::getCategoryList(kind), parentId), 0);
    const QModelIndex moved = model->index(RecordSql::indexById(siblingsOf(category), id), 0, parent);
    currentView->setCurrentIndex(moved);
    refreshMoveButtons();
    currentView->setFocus(Qt::OtherFocusReason);
}
