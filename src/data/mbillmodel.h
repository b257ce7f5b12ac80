#pragma once

#include "data/mbill.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QStringList>

// The bills that match a condition, one page at a time, as a two-level tree: a date-group row per day with
// the day's sums per kind, and beneath it that day's bills of the page. Every setter rebuilds the tree
// within a model reset; the model never rebuilds on its own.
class MBillModel : public QAbstractTableModel
{
    Q_DECLARE_TR_FUNCTIONS(MBillModel)

public:
    explicit MBillModel(QObject* parent = nullptr);
    ~MBillModel() override;

    void setCondition(const QString& condition);
    void setPageIndex(int pageIndex);
    void setPageSize(int pageSize);
    void refresh();
    // Moves by "first", "prev", "next" or "last" (any other text stays) and returns the page shown.
    int changePage(const QString& action);
    int getPageCount() const;
    int getPageIndex() const;
    // Every bill that matches the condition, on all pages; null before the first population.
    MBillListPtr getBillList() const;
    // The date group at a top-level row of the page; null when there is no such row.
    MBillPtr getGroup(int i) const;
    int getGroupCount() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The table base answers these as for a flat table, which would keep the date groups from expanding.
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;

private:
    void populateModel();
    void repopulate();
    MBill* nodeAt(const QModelIndex& index) const;
    QVariant groupData(MBill* group, int column, int role) const;
    QVariant billData(MBill* bill, int column, int role) const;

    QStringList headerList;
    MBillPtr m_root;
    MBillListPtr billList;
    int m_pageSize = 20;
    int m_pageIndex = 0;
    int m_pageCount = 0;
    QString condition;
};
