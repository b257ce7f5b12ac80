#include "bookrows.h"
#include "data/billreader.h"
#include "recordtest.h"

#include <QtTest>

namespace {
QString billQuery(const QString& condition)
{
    return "select id,amount,description,date,month,category_id,sub_category_id,account_id,to_account_id,"
           "borrower_id, member_id, title, kind from tbl_bill where " +
           condition + " order by date desc, created_time desc";
}

// Every field as text, with null strings told apart from empty ones.
QStringList fieldsOf(const MBill& bill)
{
    QStringList fields{QString::number(bill.getAmount(), 'g', 17), bill.getDate().toString(Qt::ISODate),
                       QString::number(bill.getMonth())};
    for (const QString& text :
         {bill.getId(), bill.getDescription(), bill.getCategoryId(), bill.getSubCategoryId(), bill.getAccountId(),
          bill.getToAccountId(), bill.getBorrowerId(), bill.getMemberId(), bill.getTitle(), bill.getKind()})
        fields << (text.isNull() ? "<null>" : "'" + text + "'");
    return fields;
}
} // namespace

class TestBillReader : public RecordTest
{
    Q_OBJECT

private slots:
    void directReadsAreAvailableHere() { QVERIFY(BillReader::directHandle(QSqlDatabase::database())); }

    // Whatever a column holds, the bill gets what QSqlQuery::value would have given it.
    void readsAsTheDriverDoes_data()
    {
        QTest::addColumn<QString>("values");
        QTest::newRow("usual bill") << "'b', -12.5, '午饭', '2014-05-17', 201405, 'c1', 's1', 'a1', '0', null, 'm1', "
                                       "'标题', 'expense'";
        QTest::newRow("nulls and empty texts") << "'b', 0, '', '2014-05-17', 201405, null, '', null, '', null, null, "
                                                  "null, ''";
        QTest::newRow("numbers kept as text") << "'b', 'abc', 'x', '2014-05-17', 'abc', 7, 7.5, 'a', 'a', 'p', 'm', "
                                                 "'t', 'lend'";
        QTest::newRow("integer amount, fractional month") << "'b', 5, 'x', '2014-05-17', 201405.7, 'c', 's', 'a', "
                                                             "'a', 'p', 'm', 't', 'income'";
        QTest::newRow("date without leading zeros") << "'b', 1, '', '2014-5-7', 201405, 'c', 's', 'a', 'a', 'p', "
                                                       "'m', '', 'expense'";
        QTest::newRow("date and time") << "'b', 1, '', '2014-05-17 10:00:00', 201405, 'c', 's', 'a', 'a', 'p', 'm', "
                                          "'', 'expense'";
        QTest::newRow("date with slashes") << "'b', 1, '', '2014/05/17', 201405, 'c', 's', 'a', 'a', 'p', 'm', '', "
                                              "'expense'";
        QTest::newRow("no such day") << "'b', 1, '', '2014-02-30', 201402, 'c', 's', 'a', 'a', 'p', 'm', '', "
                                        "'expense'";
        QTest::newRow("year 0") << "'b', 1, '', '0000-01-01', 1, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'";
        QTest::newRow("date as a number") << "'b', 1, '', 20140517, 201405, 'c', 's', 'a', 'a', 'p', 'm', '', "
                                             "'expense'";
        QTest::newRow("empty date") << "'b', 1, '', '', 0, 'c', 's', 'a', 'a', 'p', 'm', '', 'expense'";
        QTest::newRow("blob and broken UTF-8")
            << "'b', 1, cast(x'e4b8ade6' as text), '2014-05-17', 201405, "
               "cast(x'c32880' as text), 's', 'a', 'a', 'p', 'm', x'41ff', 'expense'";
        QTest::newRow("beyond the basic plane") << "'b😀', 1, '🍜 面', '2014-05-17', 201405, 'c', 's', 'a', 'a', "
                                                   "'p', 'm', '😀', 'expense'";
    }

    void readsAsTheDriverDoes()
    {
        QFETCH(QString, values);
        BookRows::exec("insert into tbl_bill (id, amount, description, date, month, category_id, sub_category_id, "
                       "account_id, to_account_id, borrower_id, member_id, title, kind) values (" +
                       values + ")");
        const MBillList direct = BillReader::read(billQuery(" 1=1 "));
        const MBillList driver = BillReader::readThroughDriver(billQuery(" 1=1 "));
        QCOMPARE(direct.size(), 1);
        QCOMPARE(driver.size(), 1);
        QCOMPARE(fieldsOf(*direct.first()), fieldsOf(*driver.first()));
    }

    void bothWaysGiveTheSameBillsInOrder()
    {
        for (int day = 1; day <= 28; ++day)
            BookRows::addBillOn(QString("2014-05-%1").arg(day, 2, 10, QChar('0')), day % 2 ? "expense" : "income", day,
                                {{"account_id", day % 3 ? "a1" : "a2"}});
        const MBillList direct = BillReader::read(billQuery(" account_id='a1' "));
        const MBillList driver = BillReader::readThroughDriver(billQuery(" account_id='a1' "));
        QCOMPARE(direct.size(), 19);
        QCOMPARE(direct.size(), driver.size());
        for (int i = 0; i < direct.size(); ++i)
            QCOMPARE(fieldsOf(*direct.at(i)), fieldsOf(*driver.at(i)));
        QCOMPARE(direct.first()->getDate(), QDate(2014, 5, 28));
        // A list of many bills holds each repeated id once.
        QCOMPARE(direct.first()->getAccountId().constData(), direct.last()->getAccountId().constData());
    }

    // The condition is spliced in as text, so a second statement smuggled into it must never run.
    void refusesWhatIsNoSingleQuery_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::newRow("second statement") << " 1=1; delete from tbl_bill; --";
        QTest::newRow("no such column") << " no_such_column=1 ";
    }

    void refusesWhatIsNoSingleQuery()
    {
        QFETCH(QString, condition);
        BookRows::addBill("expense", -1);
        QVERIFY(BillReader::read(billQuery(condition)).isEmpty());
        QVERIFY(BillReader::readThroughDriver(billQuery(condition)).isEmpty());
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 1);
    }
};

QTEST_MAIN(TestBillReader)
#include "tst_billreader.moc"
