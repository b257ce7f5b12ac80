#include "bookdump.h"
#include "bookrows.h"
#include "data/bookindexes.h"
#include "recordtest.h"

#include <QSqlQuery>
#include <QtTest>

namespace {
const QStringList allIndexes{"bill_by_account", "bill_by_category",     "bill_by_date",
                             "bill_by_month",   "bill_by_sub_category", "bill_by_to_account"};

QString queryPlan(const QString& sql)
{
    QStringList steps;
    QSqlQuery query("explain query plan " + sql);
    while (query.next())
        steps << query.value(3).toString();
    return steps.join(" | ");
}
} // namespace

class TestBookIndexes : public RecordTest
{
    Q_OBJECT

private slots:
    // The statements that read many bills walk an index instead of the whole table; the whole list takes its
    // order from the index rather than from a sort of every bill.
    void statementsUseTheIndexes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("index");
        QTest::addColumn<bool>("sorted");
        const QString list = "select id,amount,description,date,month,category_id,sub_category_id,account_id,"
                             "to_account_id,borrower_id, member_id, title, kind from tbl_bill where  1=1 %1 order by "
                             "date desc, created_time desc";
        QTest::newRow("all bills") << list.arg("") << "bill_by_date" << false;
        QTest::newRow("kind") << list.arg(" and  kind='expense' ") << "bill_by_date" << false;
        QTest::newRow("month") << list.arg(" and  month=201405 ") << "bill_by_month" << true;
        QTest::newRow("account") << list.arg(" and  ( account_id='a' or to_account_id='a') ")
                                 << "bill_by_to_account (to_account_id=?)" << true;
        QTest::newRow("category") << list.arg(" and  (category_id='c') ") << "bill_by_category" << true;
        QTest::newRow("sub-category") << list.arg(" and  ( sub_category_id='s') ") << "bill_by_sub_category" << true;
        QTest::newRow("balances") << "select account_id, total(amount) from tbl_bill group by account_id"
                                  << "COVERING INDEX bill_by_account" << false;
        QTest::newRow("months") << "select distinct month  from tbl_bill order by month desc"
                                << "COVERING INDEX bill_by_month" << false;
        QTest::newRow("account analysis")
            << "select account_id, kind, total(amount) from tbl_bill where  1=1  group by account_id, kind"
            << "COVERING INDEX bill_by_account" << false;
        QTest::newRow("category analysis") << "select sub_category_id, category_id,  count(*), total(amount) from "
                                              "tbl_bill where  1=1  group by category_id, sub_category_id"
                                           << "COVERING INDEX bill_by_category" << false;
    }

    void statementsUseTheIndexes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, index);
        QFETCH(bool, sorted);
        const QString plan = queryPlan(sql);
        QVERIFY2(plan.contains("USING " + index) || plan.contains("USING INDEX " + index), qPrintable(plan));
        QVERIFY2(plan.contains("TEMP B-TREE") == sorted, qPrintable(plan));
    }

    // The indexes come all at once or not at all.
    void refusedIndexesLeaveTheBookAsItWas()
    {
        BookRows::addBill("expense", -1, {{"account_id", "a"}});
        BookRows::dropBillIndexes();
        // One index's name is taken by a table, as a file made elsewhere might have it.
        BookRows::exec("create table bill_by_to_account (x)");
        const QString before = BookDump::of(BookDump::tables(true));
        QVERIFY(!BookIndexes::addMissing());
        QCOMPARE(BookRows::billIndexes(), QStringList());
        QCOMPARE(BookDump::of(BookDump::tables(true)), before);

        BookRows::exec("drop table bill_by_to_account");
        QVERIFY(BookIndexes::addMissing());
        QCOMPARE(BookRows::billIndexes(), allIndexes);
    }
};

QTEST_MAIN(TestBookIndexes)
#include "tst_bookindexes.moc"
