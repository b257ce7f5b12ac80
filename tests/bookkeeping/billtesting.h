#pragma once

// Helpers for the bill editors' tests: a book with a little master data, and a hand that declines every
// dialog an editor opens on its own.

#include "bookrows.h"

#include <QApplication>
#include <QDialog>
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

// While it lives, every modal dialog that shows is rejected at once.
class ModalRejecter
{
public:
    ModalRejecter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            dialog->reject();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};
