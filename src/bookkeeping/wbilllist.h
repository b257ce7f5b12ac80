#pragma once

#include "data/mbill.h"
#include "widgets/wbasewidget.h"

#include <QModelIndex>
#include <QString>

namespace Ui {
class WBillList;
}

class ColumnRoom;
class MBillModel;
class QComboBox;
class QMenu;
class QStandardItemModel;
class QTreeView;

// The bills of the open book, one page at a time and grouped by date, with a row of filters (kind, date,
// account, category, member, borrower, search) that make up the bill condition, the row actions (change,
// delete, copy, enter another bill on the same day, change many at once) and print and export of the list.
class WBillList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WBillList(QWidget* parent = nullptr);
    ~WBillList() override;

    // The condition the filters make up now.
    QString getCondition() const;
    // The selected bills, in the order of the selection; date-group rows are never selected.
    MBillList getSelectedBills() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void bind() override;
    void on_tvBillList_clicked(const QModelIndex& index);
    void on_tvBillList_doubleClicked(const QModelIndex& index);
    void changePageIndex();
    void changePageButtons();
    void on_cbCategoryList_currentIndexChanged(int index);
    void on_cbAccountList_currentIndexChanged(int index);
    void on_cbMemberList_currentIndexChanged(int index);
    void on_cbBorrowerList_currentIndexChanged(int index);
    void on_pbChangePageIndex_clicked();
    void on_cbMonthList_currentIndexChanged(int index);
    void on_cbMonthList_activated(int index);
    void on_pbSearch_clicked();
    void on_leSeacrh_textChanged(const QString& arg1);
    void on_tvBillList_customContextMenuRequested(const QPoint& pos);
    void deleteBills();
    void modifyBill();
    void changeAccount();
    void changeMember();
    void changeCategory();
    void changeBorrower();
    void replicateBill();
    void supplyBill();
    void accountDataChanged();
    void monthListChanged();
    void borrowerDataChanged();
    void categoryDataChanged();
    void memberDataChanged();
    void on_pbExport_clicked();
    void on_pbPrint_clicked();
    void on_pbDelete_clicked();
    void on_pbModify_clicked();
    void onSectionResized(int logicalIndex, int oldSize, int newSize);
    void on_cbKindList_currentIndexChanged(int index);
    void on_pbPrintPreview_clicked();

private:
    void initComboBoxes();
    void setUpView();
    // Loads the rows of the current condition and shows them with the page position.
    void refilter();
    // Turns a filter off: its box shows its first item and its fragment is gone.
    void resetFilter(QComboBox* box, QString& fragment);
    // After a refill: a filter whose item is gone from its box is no longer in force.
    void dropUnlessShown(bool shown, QString& fragment);
    MBillPtr billAt(const QModelIndex& index) const;
    // Runs the bulk change dialog over the bills; reloads the rows when it changed them.
    void quickChange(const QString& mode, const MBillList& bills);
    // The selected bills go to the bulk change dialog unless one of them is of a kind the mode does not apply to.
    void changeSelected(const QString& mode);
    // Every bill the condition selects, on all pages.
    MBillList allBills() const;

    Ui::WBillList* ui;
    MBillModel* model;
    QString kindCondition;
    QString dateCondition;
    QString accountCondition;
    QString categoryCondition;
    QString borrowerCondition;
    QString memberCondition;
    QString searchCondition;
    QTreeView* categoryView;
    QStandardItemModel* categoryModel = nullptr;
    QMenu* contextMenu = nullptr;
    ColumnRoom* m_accountRoom;
};
