#pragma once

// Helpers for the bookkeeping dialogs' tests: a book with a little master data, a hand that declines every
// dialog an editor opens on its own, and the typing a record dialog takes.

#include "bookrows.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Accounts a1 and a2, expense category c1 with sub-category s1, income category c2 with s2, borrower b1 and
// member m1, but for the kinds named in `missing`: "accounts", "categories", "subCategories", "borrowers",
// "members".
inline void writeMasterData(const QStringList& missing = {})
{
    if (!missing.contains("accounts"))
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values "
                       "('a1', '现金', 'cash', 0, 1), ('a2', '银行', 'card', 0, 2)");
    if (!missing.contains("categories"))
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values "
                       "('c1', '餐饮', 'expense', 1), ('c2', '工资', 'income', 1)");
    if (!missing.contains("categories") && !missing.contains("subCategories"))
        BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values "
                       "('s1', 'c1', '午餐', 'expense', 1), ('s2', 'c2', '月薪', 'income', 1)");
    if (!missing.contains("borrowers"))
        BookRows::exec("insert into tbl_borrower (id, name, sort) values ('b1', '老王', 1)");
    if (!missing.contains("members"))
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m1', '自己', 1)");
    BookRows::dropCaches();
}

// Types a name and a description into a record dialog, shows it and presses its OK button.
inline void typeAndSave(QDialog& dialog, const QString& name, const QString& description)
{
    dialog.findChild<QLineEdit*>("leName")->setText(name);
    dialog.findChild<QLineEdit*>("lnDescription")->setText(description);
    dialog.show();
    dialog.findChild<QPushButton*>("pbOK")->click();
}

// While it lives, every modal dialog that shows is rejected at once.
class ModalRejecter
{
public:
    ModalRejecter()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};
