#pragma once

// Helpers for the bill editors' tests: a book with a little master data, and a hand that declines every
// create dialog an editor opens on its own.

#include "bookrows.h"

#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTimer>

// Accounts a1 "现金" and a2 "银行", expense category c1 with sub-category s1, income category c2 with s2,
// borrower b1 and member m1; any of the four kinds of record can be left out.
struct MasterData
{
    bool accounts = true;
    bool categories = true;
    bool subCategories = true;
    bool borrowers = true;
    bool members = true;

    void write() const
    {
        if (accounts)
            BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values "
                           "('a1', '现金', 'cash', 0, 1), ('a2', '银行', 'card', 0, 2)");
        if (categories)
            BookRows::exec("insert into tbl_category (id, name, kind, sort) values "
                           "('c1', '餐饮', 'expense', 1), ('c2', '工资', 'income', 1)");
        if (categories && subCategories)
            BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values "
                           "('s1', 'c1', '午餐', 'expense', 1), ('s2', 'c2', '月薪', 'income', 1)");
        if (borrowers)
            BookRows::exec("insert into tbl_borrower (id, name, sort) values ('b1', '老王', 1)");
        if (members)
            BookRows::exec("insert into tbl_member (id, name, sort) values ('m1', '自己', 1)");
        BookRows::dropCaches();
    }
};

// While it lives, every modal dialog that shows is rejected at once; the class names are kept in order.
class ModalRejecter
{
public:
    ModalRejecter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            m_rejected << dialog->metaObject()->className();
            dialog->reject();
        });
        m_timer.start();
    }
    const QStringList& rejected() const { return m_rejected; }

private:
    QTimer m_timer;
    QStringList m_rejected;
};
