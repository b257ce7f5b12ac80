#include "bookkeeping/wbilllist.h"

#include "ui_wbilllist.h"

#include "analysis/exporthelper.h"
#include "analysis/printhelper.h"
#include "bookkeeping/billcondition.h"
#include "bookkeeping/billfilteritems.h"
#include "bookkeeping/bulkchangerule.h"
#include "bookkeeping/columnroom.h"
#include "bookkeeping/dbill.h"
#include "bookkeeping/ddateperiod.h"
#include "bookkeeping/dquickchange.h"
#include "bookkeeping/filterbox.h"
#include "bookkeeping/wbillitemdelegate.h"
#include "data/filesetting.h"
#include "data/mbillmodel.h"
#include "data/notifier.h"
#include "data/witemdelegate.h"
#include "platform/fileprompt.h"
#include "widgets/dmessagebox.h"

#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QResizeEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {
const QString columnWidthsTable = "BillList";
const int accountColumn = 2;
// The last column, which stretches over the width the others leave.
const int descriptionColumn = 4;
} // namespace

WBillList::WBillList(QWidget* parent) : WBaseWidget(parent), ui(new Ui::WBillList)
{
    ui->setupUi(this);
    const bool members = FileSetting::getInstance()->getValue("Common/EnableBillMember", true).toBool();
    ui->lblMemberList->setVisible(members);
    ui->cbMemberList->setVisible(members);

    model = new MBillModel(this);
    ui->tvBillList->setModel(model);
    ui->tvBillList->expandAll();
    setUpView();

    for (QPushButton* button : {ui->pbFirst, ui->pbPrev, ui->pbNext, ui->pbLast})
        connect(button, &QPushButton::clicked, this, &WBillList::changePageIndex);

    for (QComboBox* box : {ui->cbKindList, ui->cbMonthList, ui->cbAccountList, ui->cbBorrowerList, ui->cbMemberList})
        box->setView(new QListView(box));
    categoryView = new QTreeView(this);
    categoryView->setItemsExpandable(false);
    categoryView->setRootIsDecorated(false);
    categoryView->setIndentation(10);
    categoryView->setHeaderHidden(true);
    categoryView->setItemDelegate(new WItemDelegate);
    categoryView->itemDelegate()->setParent(categoryView);
    ui->cbCategoryList->setView(categoryView);

    QHeaderView* header = ui->tvBillList->header();
    const QList<int> widths = FileSetting::getInstance()->getColumnWidths(columnWidthsTable);
    if (widths.isEmpty()) {
        header->resizeSection(0, 200);
        header->resizeSection(1, 130);
        header->resizeSection(accountColumn, 100);
    } else {
        // The stretching last column takes what the others leave.
        for (int i = 0; i < qMin(int(widths.size()), model->columnCount() - 1); ++i)
            header->resizeSection(i, widths.at(i));
    }
    header->setMinimumSectionSize(50);
    // A long account name takes the room that the titles and descriptions leave empty.
    m_accountRoom = new ColumnRoom(ui->tvBillList, accountColumn, descriptionColumn);
    connect(header, &QHeaderView::sectionResized, this, &WBillList::onSectionResized);

    initComboBoxes();

    auto* remove = new QShortcut(QKeySequence::Delete, ui->tvBillList);
    remove->setContext(Qt::WindowShortcut);
    connect(remove, &QShortcut::activated, this, &WBillList::deleteBills);
    auto* change = new QShortcut(QKeySequence(Qt::Key_Space), ui->tvBillList);
    change->setContext(Qt::WindowShortcut);
    connect(change, &QShortcut::activated, this, &WBillList::modifyBill);

    Notifier* notifier = Notifier::getInstance();
    connect(notifier, &Notifier::accountDataChanged, this, &WBillList::accountDataChanged);
    connect(notifier, &Notifier::monthListChanged, this, &WBillList::monthListChanged);
    connect(notifier, &Notifier::borrowerDataChanged, this, &WBillList::borrowerDataChanged);
    connect(notifier, &Notifier::categoryDataChanged, this, &WBillList::categoryDataChanged);
    connect(notifier, &Notifier::memberDataChanged, this, &WBillList::memberDataChanged);
    connect(notifier, &Notifier::billDataChanged, this, &WBillList::bind);
}

WBillList::~WBillList()
{
    delete ui;
}

void WBillList::setUpView()
{
    QTreeView* view = ui->tvBillList;
    view->setAllColumnsShowFocus(true);
    view->setAnimated(true);
    view->setItemDelegate(new WBillItemDelegate);
    view->itemDelegate()->setParent(view);
    WBillItemDelegate::spanDateGroups(view);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(descriptionColumn, QHeaderView::Stretch);
    view->header()->setMinimumSectionSize(50);
}

QString WBillList::getCondition() const
{
    return BillCondition::join({kindCondition, dateCondition, accountCondition, categoryCondition, borrowerCondition,
                                memberCondition, searchCondition});
}

void WBillList::initComboBoxes()
{
    // Not blocked: the first item becomes current and loads the first rows.
    for (const auto& kind : BillFilterItems::kinds())
        ui->cbKindList->addItem(kind.first, kind.second);
    accountDataChanged();
    monthListChanged();
    borrowerDataChanged();
    categoryDataChanged();
    memberDataChanged();
}

void WBillList::refilter()
{
    model->setCondition(getCondition());
    ui->tvBillList->expandAll();
    changePageButtons();
}

void WBillList::resetFilter(QComboBox* box, QString& fragment)
{
    FilterBox::reset(box);
    fragment.clear();
}

void WBillList::dropUnlessShown(bool shown, QString& fragment)
{
    if (shown || fragment.isEmpty())
        return;
    fragment.clear();
    refilter();
}

void WBillList::accountDataChanged()
{
    dropUnlessShown(FilterBox::refill(ui->cbAccountList, BillFilterItems::accounts()), accountCondition);
    // The rows show the accounts' names as they are now, a renamed one included.
    m_accountRoom->fit();
}

void WBillList::monthListChanged()
{
    dropUnlessShown(FilterBox::refill(ui->cbMonthList, BillFilterItems::months()), dateCondition);
}

void WBillList::borrowerDataChanged()
{
    dropUnlessShown(FilterBox::refill(ui->cbBorrowerList, BillFilterItems::borrowers()), borrowerCondition);
}

void WBillList::memberDataChanged()
{
    dropUnlessShown(FilterBox::refill(ui->cbMemberList, BillFilterItems::members()), memberCondition);
}

void WBillList::categoryDataChanged()
{
    QComboBox* box = ui->cbCategoryList;
    const QVariant shown = box->currentData();
    {
        const QSignalBlocker blocker(box);
        // The box owns its model and drops the previous one when it gets a new one.
        categoryModel = BillFilterItems::categories(box);
        box->setModel(categoryModel);
        categoryView->expandAll();
    }
    dropUnlessShown(FilterBox::show(box, shown), categoryCondition);
}

void WBillList::on_cbKindList_currentIndexChanged(int)
{
    const QString kind = ui->cbKindList->currentData().toString();
    kindCondition = kind.isEmpty() ? QString() : BillCondition::kind(kind);
    refilter();
}

void WBillList::on_cbMonthList_currentIndexChanged(int)
{
    const int month = ui->cbMonthList->currentData().toInt();
    // The period is asked for when the item is activated, also when it is picked again.
    if (month == BillFilterItems::monthPeriod)
        return;
    dateCondition = month == BillFilterItems::monthAll ? QString() : BillCondition::month(month);
    refilter();
}

void WBillList::on_cbMonthList_activated(int index)
{
    if (index != BillFilterItems::monthPeriod)
        return;
    DDatePeriod dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        dateCondition = dialog.getCondition();
    } else {
        ui->cbMonthList->setCurrentIndex(0);
        dateCondition.clear();
    }
    refilter();
}

void WBillList::on_cbAccountList_currentIndexChanged(int)
{
    const QString id = ui->cbAccountList->currentData().toString();
    accountCondition = id.isEmpty() ? QString() : BillCondition::account(id);
    refilter();
}

void WBillList::on_cbCategoryList_currentIndexChanged(int)
{
    resetFilter(ui->cbBorrowerList, borrowerCondition);
    // The item the box shows, which a pick in the tree popup may have taken from any depth.
    categoryCondition = BillCondition::category(ui->cbCategoryList->currentData().toString());
    refilter();
}

void WBillList::on_cbBorrowerList_currentIndexChanged(int)
{
    resetFilter(ui->cbCategoryList, categoryCondition);
    resetFilter(ui->cbMemberList, memberCondition);
    const QString id = ui->cbBorrowerList->currentData().toString();
    borrowerCondition = id.isEmpty() ? QString() : BillCondition::borrower(id);
    refilter();
}

void WBillList::on_cbMemberList_currentIndexChanged(int)
{
    resetFilter(ui->cbBorrowerList, borrowerCondition);
    const QString id = ui->cbMemberList->currentData().toString();
    memberCondition = id.isEmpty() ? QString() : BillCondition::member(id);
    refilter();
}

void WBillList::on_pbSearch_clicked()
{
    searchCondition = BillCondition::search(ui->leSeacrh->text());
    refilter();
}

void WBillList::on_leSeacrh_textChanged(const QString& arg1)
{
    if (!arg1.isEmpty())
        return;
    searchCondition.clear();
    refilter();
}

void WBillList::bind()
{
    // The box is emptied here, and with it goes its search: no filter stays in force that the page no longer shows.
    {
        const QSignalBlocker boxBlocker(ui->leSeacrh);
        const QSignalBlocker buttonBlocker(ui->pbSearch);
        ui->leSeacrh->clear();
    }
    searchCondition.clear();
    refilter();
}

void WBillList::changePageButtons()
{
    const int index = model->getPageIndex();
    const int count = model->getPageCount();
    ui->lblPagePosition->setText(QString::number(index + 1) + "/" + QString::number(count) + " ");
    ui->pbFirst->setEnabled(index != 0);
    ui->pbPrev->setEnabled(index != 0);
    ui->pbNext->setEnabled(index != count - 1);
    ui->pbLast->setEnabled(index != count - 1);
}

void WBillList::changePageIndex()
{
    model->changePage(sender()->objectName().mid(2).toLower());
    ui->tvBillList->expandAll();
    changePageButtons();
}

void WBillList::on_pbChangePageIndex_clicked()
{
    model->setPageIndex(ui->sbPageNo->value() - 1);
    ui->tvBillList->expandAll();
    changePageButtons();
}

void WBillList::resizeEvent(QResizeEvent* event)
{
    WBaseWidget::resizeEvent(event);
    if (FileSetting::getInstance()->getPageSize() == "0" && event->oldSize().width() != -1) {
        const int height = ui->tvBillList->height();
        model->setPageSize(height >= 300 ? height / 30 : 10);
    }
    ui->tvBillList->expandAll();
    changePageButtons();
}

void WBillList::onSectionResized(int, int, int)
{
    QList<int> widths;
    QHeaderView* header = ui->tvBillList->header();
    // The room a long account name takes is the page's, not a width of the column's own.
    for (int i = 0; i < header->count(); ++i)
        widths << (i == accountColumn ? m_accountRoom->ownWidth() : header->sectionSize(i));
    FileSetting::getInstance()->setColumnWidths(columnWidthsTable, widths);
}

void WBillList::on_tvBillList_clicked(const QModelIndex& index)
{
    if (!index.isValid() || index.parent().isValid())
        return;
    const MBillPtr group = model->getGroup(index.row());
    if (!group)
        return;
    const QModelIndex first = index.siblingAtColumn(0);
    const bool expanded = !ui->tvBillList->isExpanded(first);
    ui->tvBillList->setExpanded(first, expanded);
    group->setExpanded(expanded);
}

MBillPtr WBillList::billAt(const QModelIndex& index) const
{
    const QModelIndex parent = index.parent();
    if (!index.isValid() || !parent.isValid())
        return MBillPtr();
    const MBillPtr group = model->getGroup(parent.row());
    return group ? group->getChildren()->value(index.row()) : MBillPtr();
}

MBillList WBillList::getSelectedBills() const
{
    MBillList bills;
    for (const QModelIndex& index : ui->tvBillList->selectionModel()->selectedIndexes())
        if (index.column() == 0)
            if (const MBillPtr bill = billAt(index))
                bills << bill;
    return bills;
}

void WBillList::on_tvBillList_customContextMenuRequested(const QPoint&)
{
    if (!contextMenu) {
        contextMenu = new QMenu(ui->tvBillList);
        const auto add = [this](const QString& text, void (WBillList::*slot)()) {
            auto* action = new QAction(text, this);
            connect(action, &QAction::triggered, this, slot);
            contextMenu->addAction(action);
        };
        add(tr("修改账目"), &WBillList::modifyBill);
        add(tr("删除账目"), &WBillList::deleteBills);
        contextMenu->addSeparator();
        add(tr("复制账目"), &WBillList::replicateBill);
        add(tr("该日补账"), &WBillList::supplyBill);
        contextMenu->addSeparator();
        add(tr("转换账户"), &WBillList::changeAccount);
        add(tr("转换成员"), &WBillList::changeMember);
        add(tr("转换分类"), &WBillList::changeCategory);
        add(tr("转换借款人"), &WBillList::changeBorrower);
    }
    contextMenu->popup(QCursor::pos());
}

void WBillList::deleteBills()
{
    const MBillList bills = getSelectedBills();
    if (bills.isEmpty())
        return;
    if (DMessageBox::question(this, tr("确定删除?"), tr("需要删除这些账目吗?")) != 1)
        return;
    if (!MBill::removeAll(bills))
        DMessageBox::error(this, tr("删除失败，选中的账目都没有删除，请重试。"));
}

void WBillList::on_pbDelete_clicked()
{
    deleteBills();
}

void WBillList::on_pbModify_clicked()
{
    modifyBill();
}

void WBillList::on_tvBillList_doubleClicked(const QModelIndex&)
{
    modifyBill();
}

// A save writes the bill, whose change notice reloads the page.
void WBillList::modifyBill()
{
    const MBillList bills = getSelectedBills();
    if (bills.isEmpty())
        return;
    DBill dialog(bills.first(), this);
    dialog.exec();
}

void WBillList::replicateBill()
{
    for (const MBillPtr& bill : getSelectedBills()) {
        DBill dialog(bill->clone(), this);
        dialog.exec();
    }
}

void WBillList::supplyBill()
{
    for (const MBillPtr& bill : getSelectedBills()) {
        DBill dialog(bill->getDate());
        dialog.exec();
    }
}

void WBillList::changeAccount()
{
    changeSelected("account");
}

void WBillList::changeMember()
{
    changeSelected("member");
}

void WBillList::changeCategory()
{
    changeSelected("category");
}

void WBillList::changeBorrower()
{
    changeSelected("borrower");
}

void WBillList::changeSelected(const QString& mode)
{
    const MBillList bills = getSelectedBills();
    const QString refusal = BulkChangeRule::refusal(mode, bills);
    if (refusal.isEmpty())
        quickChange(mode, bills);
    else
        DMessageBox::information(this, tr("错误"), refusal);
}

void WBillList::quickChange(const QString& mode, const MBillList& bills)
{
    if (bills.isEmpty())
        return;
    DQuickChange dialog(mode, bills, this);
    if (dialog.exec() == QDialog::Accepted) {
        model->refresh();
        ui->tvBillList->expandAll();
    }
}

MBillList WBillList::allBills() const
{
    const MBillListPtr bills = model->getBillList();
    return bills ? *bills : MBillList();
}

void WBillList::on_pbExport_clicked()
{
    const QString fileName =
        FilePrompt::current()->saveFileName(this, tr("导出Excel文件"), tr("导出Excel文件 (*.xls)"));
    if (fileName.isEmpty())
        return;
    if (ExportHelper::exportBills(fileName, allBills()))
        DMessageBox::information(this, tr("导出成功"), tr("您已经成功导出数据!"));
    else
        DMessageBox::error(this, tr("导出失败，文件没有写成。"));
}

void WBillList::on_pbPrintPreview_clicked()
{
    PrintHelper helper;
    helper.preview(allBills());
}

void WBillList::on_pbPrint_clicked()
{
    PrintHelper helper;
    helper.print(allBills());
}
