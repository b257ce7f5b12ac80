#include "bookdump.h"
#include "bookrows.h"
#include "data/bookindexes.h"
#include "data/mbill.h"
#include "recordtest.h"

#include <QSqlQuery>
#include <QtTest>

namespace {
QString planOf(const QString& sql)
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
    // The statements that read many bills walk an index, not the whole table; the whole list takes its order from
    // the index instead of a sort of every bill, and the sums read the index alone.
    void statementsUseTheIndexes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("plan");
        const auto list = [](const QString& filter) { return MBill::listQuery(" 1=1 " + filter); };
        QTest::newRow("all bills") << list("") << "SCAN tbl_bill USING INDEX bill_by_date";
        QTest::newRow("month") << list(" and  month=201405 ")
                               << "SEARCH tbl_bill USING INDEX bill_by_month (month=?) | USE TEMP B-TREE FOR ORDER BY";
        QTest::newRow("account") << list(" and  ( account_id='a' or to_account_id='a') ")
                                 << "MULTI-INDEX OR | INDEX 1 | SEARCH tbl_bill USING INDEX bill_by_account "
                                    "(account_id=?) | INDEX 2 | SEARCH tbl_bill USING INDEX "
                                    "bill_by_to_account (to_account_id=?) | USE TEMP B-TREE FOR ORDER BY";
        QTest::newRow("balances") << "select account_id, total(amount) from tbl_bill group by account_id"
                                  << "SCAN tbl_bill USING COVERING INDEX bill_by_account";
        QTest::newRow("category analysis") << "select sub_category_id, category_id,  count(*), total(amount) from "
                                              "tbl_bill where  1=1  group by category_id, sub_category_id"
                                           << "SCAN tbl_bill USING COVERING INDEX bill_by_category";
    }

    void statementsUseTheIndexes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, plan);
        QCOMPARE(planOf(sql), plan);
    }

    // A book indexed by an earlier build, over fewer columns, lists its bills as quickly once it is opened.
    void earlierIndexIsMadeAnew()
    {
        BookRows::exec("drop index bill_by_date");
        BookRows::exec("create index bill_by_date on tbl_bill (date, created_time)");
        QVERIFY(BookIndexes::addMissing());
        QCOMPARE(planOf(MBill::listQuery(" 1=1 ")), QString("SCAN tbl_bill USING INDEX bill_by_date"));
        QCOMPARE(BookRows::billIndexes().size(), BookIndexes::statements().size());
    }

    // The indexes come all at once or not at all.
    void refusedIndexesLeaveTheBookAsItWas()
    {
        BookRows::addBill("expense", -1, {{"account_id", "a"}});
        const QStringList all = BookRows::billIndexes();
        BookRows::dropBillIndexes();
        // One index's name is taken by a table, as a file made elsewhere might have it.
        BookRows::exec("create table bill_by_to_account (x)");
        const QString before = BookDump::of(BookDump::tables(true));
        QVERIFY(!BookIndexes::addMissing());
        QCOMPARE(BookRows::billIndexes(), QStringList());
        QCOMPARE(BookDump::of(BookDump::tables(true)), before);

        BookRows::exec("drop table bill_by_to_account");
        QVERIFY(BookIndexes::addMissing());
        QCOMPARE(BookRows::billIndexes(), all);
    }
};

QTEST_MAIN(TestBookIndexes)
#include "tst_bookindexes.moc"
