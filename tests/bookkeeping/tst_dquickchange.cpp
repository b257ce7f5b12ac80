#include "billtesting.h"
#include "bookkeeping/dquickchange.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QComboBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

namespace {
const QStringList columns{"amount",     "description",   "date",        "month",     "category_id", "sub_category_id",
                          "account_id", "to_account_id", "borrower_id", "member_id", "kind",        "title"};

// Every stored column but the id of each bill, by id.
QMap<QString, QVariantMap> billRows()
{
    QMap<QString, QVariantMap> rows;
    QSqlQuery query("select id, " + columns.join(',') + " from tbl_bill");
    while (query.next())
        for (int i = 0; i < columns.size(); ++i)
            rows[query.value(0).toString()][columns.at(i)] = query.value(i + 1);
    return rows;
}

void addBills(const QString& kind, int count)
{
    for (int i = 0; i < count; ++i)
        BookRows::addBill(kind, i + 1,
                          {{"account_id", "a1"},
                           {"category_id", "c1"},
                           {"sub_category_id", "s1"},
                           {"borrower_id", "b1"},
                           {"member_id", "m1"},
                           {"to_account_id", "a1"}});
}

MBillList allBills()
{
    return *MBill::get(" 1=1 ");
}

QStringList itemIds(const QComboBox* combo)
{
    QStringList ids;
    for (int i = 0; i < combo->count(); ++i)
        ids << combo->itemData(i).toString();
    return ids;
}
} // namespace

class TestDQuickChange : public RecordTest
{
    Q_OBJECT

private:
    // Second records of each kind, to move the bills to.
    void writeTargets()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a3', '基金', 'fund', 0, 3)");
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('c3', '交通', 'expense', 2)");
        BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values "
                       "('s3', 'c3', '公交', 'expense', 1)");
        BookRows::exec("insert into tbl_borrower (id, name, sort) values ('b2', '小李', 2)");
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m2', '孩子', 2)");
        BookRows::dropCaches();
    }

private slots:
    void changesOnlyTheChosenField_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QVariantMap>("changed");
        QTest::newRow("account") << "account"
                                 << "expense"
                                 << "a3" << QVariantMap{{"account_id", "a3"}};
        QTest::newRow("member") << "member"
                                << "expense"
                                << "m2" << QVariantMap{{"member_id", "m2"}};
        QTest::newRow("borrower") << "borrower"
                                  << "lend"
                                  << "b2" << QVariantMap{{"borrower_id", "b2"}};
        QTest::newRow("category") << "category"
                                  << "expense"
                                  << "c3" << QVariantMap{{"category_id", "c3"}, {"sub_category_id", "s3"}};
    }
    void changesOnlyTheChosenField()
    {
        QFETCH(QString, mode);
        QFETCH(QString, kind);
        QFETCH(QString, target);
        QFETCH(QVariantMap, changed);
        MasterData().write();
        writeTargets();
        addBills(kind, 10);
        const QMap<QString, QVariantMap> before = billRows();
        MessageBoxRecorder boxes;
        DQuickChange dialog(mode, allBills());
        auto* combo = dialog.findChild<QComboBox*>("comboBox");
        combo->setCurrentIndex(combo->findData(target));
        dialog.findChild<QPushButton*>("pbOK")->click();

        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QMap<QString, QVariantMap> after = billRows();
        QCOMPARE(after.size(), 10);
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            QVariantMap expected = it.value();
            for (auto c = changed.cbegin(); c != changed.cend(); ++c)
                expected[c.key()] = c.value();
            QCOMPARE(after.value(it.key()), expected);
        }
    }

    void refusesWithoutATarget_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no account") << "account"
                                    << "请选择一个账户";
        QTest::newRow("no member") << "member"
                                   << "请选择一个成员";
        QTest::newRow("no borrower") << "borrower"
                                     << "请选择一个借款人";
        QTest::newRow("no category") << "category"
                                     << "请选择一个大类";
        QTest::newRow("category without sub-category") << "category"
                                                       << "请选择一个小类";
    }
    void refusesWithoutATarget()
    {
        QFETCH(QString, mode);
        QFETCH(QString, message);
        MasterData data;
        data.subCategories = false;
        const bool subCategoryOnly = message.endsWith("小类");
        if (!subCategoryOnly)
            data.accounts = data.categories = data.borrowers = data.members = false;
        data.write();
        addBills("expense", 2);
        const QMap<QString, QVariantMap> before = billRows();
        ModalRejecter rejecter;
        MessageBoxRecorder boxes(0);
        DQuickChange dialog(mode, allBills());
        dialog.findChild<QPushButton*>("pbOK")->click();

        QCOMPARE(boxes.boxes().last(), qMakePair(QString("错误"), message));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(billRows(), before);
    }

    void categoriesOfTheBillsKindOnly_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("expense") << "expense" << QStringList{"c1", "c3"};
        QTest::newRow("income") << "income" << QStringList{"c2"};
    }
    void categoriesOfTheBillsKindOnly()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, offered);
        MasterData().write();
        writeTargets();
        addBills(kind, 3);
        MessageBoxRecorder boxes(0);
        DQuickChange dialog("category", allBills());
        QCOMPARE(itemIds(dialog.findChild<QComboBox*>("comboBox")), offered);
        QVERIFY(!dialog.findChild<QComboBox*>("comboBox2")->isHidden());
    }

    void refusedWriteKeepsTheDialogOpen()
    {
        MasterData().write();
        addBills("expense", 3);
        const MBillList bills = allBills();
        BookRows::exec("delete from tbl_bill where id=?", {bills.at(1)->getId()});
        MessageBoxRecorder boxes;
        DQuickChange dialog("account", bills);
        auto* combo = dialog.findChild<QComboBox*>("comboBox");
        combo->setCurrentIndex(combo->findData("a2"));
        dialog.findChild<QPushButton*>("pbOK")->click();

        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first, QString("错误"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where account_id='a2'").toInt(), 2);
    }
};

QTEST_MAIN(TestDQuickChange)
#include "tst_dquickchange.moc"
