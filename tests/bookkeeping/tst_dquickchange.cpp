#include "billtesting.h"
#include "bookkeeping/dquickchange.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QComboBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace {
// Every stored column of each bill, by id.
QMap<QString, QVariantMap> billRows()
{
    QMap<QString, QVariantMap> rows;
    QSqlQuery query("select * from tbl_bill");
    while (query.next())
        for (int i = 0; i < query.record().count(); ++i)
            rows[query.value("id").toString()][query.record().fieldName(i)] = query.value(i);
    return rows;
}

const QMap<QString, QString> allIds{{"account_id", "a1"},  {"category_id", "c1"}, {"sub_category_id", "s1"},
                                    {"borrower_id", "b1"}, {"member_id", "m1"},   {"to_account_id", "a1"}};

MBillList addBills(const QString& kind, int count)
{
    for (int i = 0; i < count; ++i)
        BookRows::addBill(kind, i + 1, allIds);
    return *MBill::get(" 1=1 ");
}

// A second record of each kind to move bills to: a3, c3 with s3, b2, m2.
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

void choose(DQuickChange& dialog, const QString& id)
{
    auto* combo = dialog.findChild<QComboBox*>("comboBox");
    combo->setCurrentIndex(combo->findData(id));
    dialog.findChild<QPushButton*>("pbOK")->click();
}
} // namespace

class TestDQuickChange : public RecordTest
{
    Q_OBJECT

private slots:
    // Only the chosen field changes, to a record of the kind the bills can take.
    void changesOnlyTheChosenField_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QVariantMap>("changed");
        QTest::addColumn<QStringList>("offered"); // checked when given
        QTest::newRow("account") << "account" << QString("expense") << "a3" << QVariantMap{{"account_id", "a3"}}
                                 << QStringList();
        QTest::newRow("member") << "member" << QString("income") << "m2" << QVariantMap{{"member_id", "m2"}}
                                << QStringList();
        QTest::newRow("borrower") << "borrower" << QString("lend") << "b2" << QVariantMap{{"borrower_id", "b2"}}
                                  << QStringList();
        QTest::newRow("expense category")
            << "category" << QString("expense") << "c3" << QVariantMap{{"category_id", "c3"}, {"sub_category_id", "s3"}}
            << QStringList{"c1", "c3"};
        QTest::newRow("income category") << "category" << QString("income") << "c2"
                                         << QVariantMap{{"category_id", "c2"}, {"sub_category_id", "s2"}}
                                         << QStringList{"c2"};
    }
    void changesOnlyTheChosenField()
    {
        QFETCH(QString, mode);
        QFETCH(QString, kind);
        QFETCH(QString, target);
        QFETCH(QVariantMap, changed);
        QFETCH(QStringList, offered);
        writeMasterData();
        writeTargets();
        const MBillList bills = addBills(kind, 10);
        const QMap<QString, QVariantMap> before = billRows();
        MessageBoxRecorder boxes;
        DQuickChange dialog(mode, bills);
        if (!offered.isEmpty()) {
            auto* combo = dialog.findChild<QComboBox*>("comboBox");
            QStringList ids;
            for (int i = 0; i < combo->count(); ++i)
                ids << combo->itemData(i).toString();
            QCOMPARE(ids, offered);
        }
        choose(dialog, target);

        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QMap<QString, QVariantMap> after = billRows();
        QCOMPARE(after.size(), 10);
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            QVariantMap expected = it.value();
            for (auto c = changed.cbegin(); c != changed.cend(); ++c)
                expected[c.key()] = c.value();
            // The row's version stamp is the database's own business.
            expected.remove("version");
            QVariantMap row = after.value(it.key());
            row.remove("version");
            QCOMPARE(row, expected);
        }
    }

    void refusesWithoutATarget_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QString>("message");
        const QStringList all{"accounts", "categories", "borrowers", "members"};
        QTest::newRow("account") << "account" << all << "请选择一个账户";
        QTest::newRow("member") << "member" << all << "请选择一个成员";
        QTest::newRow("borrower") << "borrower" << all << "请选择一个借款人";
        QTest::newRow("category") << "category" << all << "请选择一个大类";
        QTest::newRow("sub-category") << "category" << QStringList{"subCategories"} << "请选择一个小类";
    }
    void refusesWithoutATarget()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, missing);
        QFETCH(QString, message);
        writeMasterData(missing);
        const MBillList bills = addBills("expense", 2);
        const QMap<QString, QVariantMap> before = billRows();
        MessageBoxRecorder boxes(0);
        DQuickChange dialog(mode, bills);
        dialog.findChild<QPushButton*>("pbOK")->click();

        QVERIFY(!boxes.boxes().isEmpty());
        QCOMPARE(boxes.boxes().last(), qMakePair(QString("错误"), message));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(billRows(), before);
    }

    // Every bill changes or none does, and the dialog stays open for another try.
    void failedWriteChangesNothing_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("failing");
        QTest::newRow("a bill gone meanwhile") << 3 << 2;
        QTest::newRow("disk full at bill 148 of 3000") << 3000 << 148;
    }
    void failedWriteChangesNothing()
    {
        QFETCH(int, count);
        QFETCH(int, failing);
        writeMasterData();
        writeTargets();
        BookRows::exec("with recursive n(i) as (select 1 union all select i+1 from n where i<?) insert into tbl_bill "
                       "(id, amount, description, date, month, kind, member_id) "
                       "select i, -i, '', '2014-05-17', 201405, 'expense', 'm1' from n",
                       {count});
        const MBillList bills = *MBill::get(" 1=1 ");
        const QString failingId = bills.at(failing - 1)->getId();
        if (count == 3)
            BookRows::exec("delete from tbl_bill where id=?", {failingId});
        else
            BookRows::failBillAt("update", failingId);
        MessageBoxRecorder boxes;
        DQuickChange dialog("member", bills);
        choose(dialog, "m2");

        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().second, QString("保存失败，选中的 %1 条账目都没有改动，请重试。").arg(count));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where member_id='m2'").toInt(), 0);
    }
};

QTEST_MAIN(TestDQuickChange)
#include "tst_dquickchange.moc"
