#include "bookrows.h"
#include "data/billreader.h"
#include "data/sqlitehandle.h"
#include "recordtest.h"

#include <QtTest>

namespace {
// Every field of every bill as text, with null strings told apart from empty ones.
QStringList fieldsOf(const MBillList& bills)
{
    QStringList fields;
    for (const MBillPtr& bill : bills) {
        fields << QString::number(bill->getAmount(), 'g', 17) << bill->getDate().toString(Qt::ISODate)
               << QString::number(bill->getMonth());
        for (const QString& text : {bill->getId(), bill->getDescription(), bill->getCategoryId(),
                                    bill->getSubCategoryId(), bill->getAccountId(), bill->getToAccountId(),
                                    bill->getBorrowerId(), bill->getMemberId(), bill->getTitle(), bill->getKind()})
            fields << (text.isNull() ? "<null>" : "'" + text + "'");
    }
    return fields;
}
} // namespace

class TestBillReader : public RecordTest
{
    Q_OBJECT

private slots:
    // Whatever a column holds, the bill gets what QSqlQuery::value would have given it, in the list's order.
    void readsAsTheDriverDoes()
    {
        QVERIFY(SqliteHandle::of(QSqlDatabase::database()));
        const QStringList rows{
            "'a', -12.5, '午饭', '2014-05-17', 201405, 'c1', 's1', 'a1', '0', null, 'm1', '标题', 'expense'",
            "'b', 0, '', '2014-05-16', 201405, null, '', null, '', null, null, null, ''",
            "'c', 'abc', 'x', '2014-05-15', 'abc', 7, 7.5, 'a1', 'a', 'p', 'm', 't', 'lend'",
            "'d', 5, 'x', '2014-5-7', 201405.7, 'c', 's', 'a1', 'a', 'p', 'm', 't', 'income'",
            "'e', 1, '', '2014-05-17 10:00:00', 201405, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'",
            "'f', 1, '', '2014/05/17', 4294967297, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'",
            "'g', 1, '', '2014-02-30', 201402, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'",
            "'h', 1, '', '0000-01-01', 1, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'",
            "'i', 1, '', 20140517, 201405, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'",
            "'j', 1, cast(x'e4b8ade6' as text), '', 0, cast(x'c32880' as text), 's', 'a', 'a', 'p', 'm', x'41ff', 'x'",
            "'k😀', 1, '🍜 面', '2014-05-14', 201405, 'c', 's', 'a', 'a', 'p', 'm', '😀', 'expense'",
        };
        for (const QString& values : rows)
            BookRows::exec("insert into tbl_bill (id, amount, description, date, month, category_id, "
                           "sub_category_id, account_id, to_account_id, borrower_id, member_id, title, kind) values (" +
                           values + ")");
        const MBillList direct = BillReader::read(MBill::listQuery(" 1=1 "));
        QCOMPARE(direct.size(), rows.size());
        QCOMPARE(fieldsOf(direct), fieldsOf(BillReader::readThroughDriver(MBill::listQuery(" 1=1 "))));
        // A list of many bills holds each repeated id once.
        const MBillList sameAccount = BillReader::read(MBill::listQuery(" account_id='a1' "));
        QCOMPARE(sameAccount.size(), 3);
        QCOMPARE(sameAccount.first()->getAccountId().constData(), sameAccount.last()->getAccountId().constData());
    }

    // The condition is spliced in as text, so a second statement smuggled into it must never run.
    void refusesASecondStatement()
    {
        BookRows::addBill("expense", -1);
        const QString sql = MBill::listQuery(" 1=1; delete from tbl_bill; --");
        QVERIFY(BillReader::read(sql).isEmpty());
        QVERIFY(BillReader::readThroughDriver(sql).isEmpty());
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 1);
    }
};

QTEST_MAIN(TestBillReader)
#include "tst_billreader.moc"
