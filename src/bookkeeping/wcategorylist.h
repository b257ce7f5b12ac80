#pragma once

#include "widgets/wbasewidget.h"

#include <QModelIndex>
#include <QString>

class MCategory;
class MCategoryModel;
class PageReloader;
class QTreeView;

namespace Ui {
class WCategoryList;
}

// The expense and income categories on two tabs, each a tree of categories and their sub-categories, kept in
// the user's own order. A category is removed only when it has no sub-categories and no bill names it, a
// sub-category only when no bill names it.
class WCategoryList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WCategoryList(QWidget* parent = nullptr);
    ~WCategoryList() override;

public slots:
    void bind() override;

private slots:
    void on_pbModify_clicked();
    void on_pbRemove_clicked();
    void on_twCategoryList_currentChanged(int index);
    void on_pbCreateExpenseCategory_clicked();
    void on_pbCreateExpenseSubCategory_clicked();
    void on_pbCreateIncomeCategory_clicked();
    void on_pbCreateIncomeSubCategory_clicked();
    void on_pbMovePrevious_clicked();
    void on_pbMoveNext_clicked();
    void refreshMoveButtons();

private:
    // The record a tree index shows, looked up afresh by id; null when it is gone from the book.
    static MCategory* currentRecord(const QModelIndex& index);
    static QList<MCategory*> siblingsOf(const MCategory* category);
    MCategory* getSelectedCategory() const;
    void setModel(QTreeView* view, MCategoryModel*& model, const QString& modelKind);
    void create(const QString& categoryKind, bool subCategory, int tab);
    void move(int step);

    Ui::WCategoryList* ui;
    MCategoryModel* expenseModel = nullptr;
    MCategoryModel* incomeModel = nullptr;
    QTreeView* currentView = nullptr;
    QString kind = "expense";
    PageReloader* reloader;
};
