#include "bookrows.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "recordtest.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
// A bill row with a chosen date and creation time, written past the class under test.
QString addDatedBill(const QString& date, const QString& createdTime, double amount = -1,
                     QString id = QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    BookRows::exec("insert into tbl_bill (id, kind, amount, description, date, month, created_time) "
                   "values (?, 'expense', ?, '', ?, ?, ?)",
                   {id, amount, date, date.left(4).toInt() * 100 + date.mid(5, 2).toInt(), createdTime});
    return id;
}

MBillPtr newBill(const QString& kind, double amount, const QDate& date)
{
    MBillPtr bill = MBillPtr::create();
    bill->setKind(kind);
    bill->setAmount(amount);
    bill->setDate(date);
    bill->setMonth(date.year() * 100 + date.month());
    return bill;
}

int rowsWithId(const QString& table, const QString& id)
{
    return BookRows::value("select count(*) from " + table + " where id=?", {id}).toInt();
}

QStringList listedIds(const QString& condition)
{
    QStringList ids;
    for (const MBillPtr& bill : *MBill::get(condition))
        ids << bill->getId();
    return ids;
}

double accountBalance(const QString& id)
{
    return MAccount::getAccountById(id)->getBalance();
}

double borrowerTotal(const QString& id)
{
    return MBorrower::getBorrowerById(id)->getBalance();
}
} // namespace

class TestMBill : public RecordTest
{
    Q_OBJECT

private slots:
    void repeatedConditionReusesTheCachedList()
    {
        BookRows::addBill("expense", -1);
        QSignalSpy conditions(Notifier::getInstance(), &Notifier::listConditionChanged);

        const MBillListPtr first = MBill::get(" 1=1 ");
        const MBillListPtr second = MBill::get(" 1=1 ");
        QCOMPARE(first, second);
        QCOMPARE(first->size(), 1);
        QCOMPARE(conditions.size(), 1);
        QCOMPARE(conditions.at(0).at(0).toString(), QString(" 1=1 "));

        // A write empties the list its holders have; the same condition then queries afresh and says nothing.
        BookRows::addBill("income", 2);
        MBill::dataChanged();
        QVERIFY(first->isEmpty());
        const MBillListPtr third = MBill::get(" 1=1 ");
        QVERIFY(third != first);
        QCOMPARE(third->size(), 2);
        QCOMPARE(conditions.size(), 1);

        MBill::get(" kind='income' ");
        QCOMPARE(conditions.size(), 2);
    }

    void billsComeNewestDateThenNewestCreatedFirst()
    {
        const QString older = addDatedBill("2014-05-16", "2014-05-20 10:00:00");
        const QString firstOfDay = addDatedBill("2014-05-17", "2014-05-17 08:00:00");
        const QString lastOfDay = addDatedBill("2014-05-17", "2014-05-17 21:00:00");
        const QString newer = addDatedBill("2014-06-01", "2014-05-01 00:00:00");

        QCOMPARE(listedIds(" 1=1 "), (QStringList{newer, lastOfDay, firstOfDay, older}));
        QCOMPARE(MBill::get(" 1=1 ")->at(0)->getDate(), QDate(2014, 6, 1));
        QCOMPARE(MBill::get(" 1=1 ")->at(0)->getMonth(), 201406);
    }

    // Bills saved within one second come in one order in the whole list and in a filtered one, and so on another
    // device, which writes the rows it receives in an order of its own.
    void billsOfOneSecondComeInOneOrder_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::newRow("month") << " month=201405 ";
        QTest::newRow("kind") << " kind='expense' ";
    }
    void billsOfOneSecondComeInOneOrder()
    {
        QFETCH(QString, condition);
        QStringList ids{"7c", "e2", "19", "a5", "3f"};
        QStringList whole;
        for (int device = 0; device < 2; ++device, std::reverse(ids.begin(), ids.end())) {
            BookRows::exec("delete from tbl_bill");
            for (const QString& id : std::as_const(ids))
                addDatedBill("2014-05-17", "2014-05-17 12:30:05", -22, id);
            MBill::dataChanged();
            whole = device == 0 ? listedIds(" 1=1 ") : whole;
            QCOMPARE(listedIds(" 1=1 "), whole);
            QCOMPARE(listedIds(condition), whole);
        }
    }

    void rejectedConditionGivesACachedEmptyList()
    {
        BookRows::addBill("expense", -1);
        const MBillListPtr list = MBill::get(" no_such_column=1 ");
        QVERIFY(list);
        QVERIFY(list->isEmpty());
        QCOMPARE(MBill::get(" no_such_column=1 "), list);
    }

    void monthsAreDistinctNewestFirst()
    {
        addDatedBill("2013-12-31", "2014-01-01 00:00:00");
        addDatedBill("2014-05-17", "2014-05-17 00:00:00");
        addDatedBill("2014-05-01", "2014-05-01 00:00:00");
        QCOMPARE(MBill::getMonthList(), (QList<int>{201405, 201312}));
    }

    void insertGivesEveryInsertANewId()
    {
        const MBillPtr bill = newBill("expense", -12.5, QDate(2014, 5, 17));
        bill->setDescription("午饭");
        QVERIFY(bill->insert());
        const QString first = bill->getId();
        QCOMPARE(first.size(), 36);
        QVERIFY(!first.contains('{'));
        QCOMPARE(BookRows::value("select description from tbl_bill where id=?", {first}).toString(), QString("午饭"));
        QCOMPARE(BookRows::value("select user_id from tbl_bill where id=?", {first}).toInt(), 0);
        QVERIFY(!BookRows::value("select created_time from tbl_bill where id=?", {first}).isNull());

        QVERIFY(bill->insert());
        QVERIFY(bill->getId() != first);
        QCOMPARE(rowsWithId("tbl_bill", first), 1);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 2);
    }

    void billWithoutDescriptionIsStoredWithAnEmptyOne()
    {
        const MBillPtr bill = newBill("income", 3, QDate(2014, 5, 17));
        QVERIFY(bill->insert());
        const QVariant stored = BookRows::value("select description from tbl_bill where id=?", {bill->getId()});
        QVERIFY(!stored.isNull());
        QCOMPARE(stored.toString(), QString(""));
    }

    void failedWritesReportFailureAndStillAnnounce()
    {
        QSignalSpy changes(Notifier::getInstance(), &Notifier::billDataChanged);
        const MBillPtr noKind = newBill(QString(), -1, QDate(2014, 5, 17));
        QVERIFY(!noKind->insert());
        QCOMPARE(noKind->getId().size(), 36);
        QCOMPARE(changes.size(), 1);

        // Saving a bill whose row is gone (removed by a sync meanwhile) must not pass for a saved edit.
        const MBillPtr gone = newBill("expense", -1, QDate(2014, 5, 17));
        gone->setId("not-in-the-book");
        QVERIFY(!gone->update());
        QCOMPARE(changes.size(), 2);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 0);
    }

    void updateRewritesTheRow()
    {
        const MBillPtr bill = newBill("expense", -1, QDate(2014, 5, 17));
        QVERIFY(bill->insert());
        bill->setAmount(-8.25);
        bill->setTitle("车费");
        bill->setDate(QDate(2014, 6, 2));
        bill->setMonth(201406);
        QVERIFY(bill->update());
        QCOMPARE(BookRows::value("select amount from tbl_bill where id=?", {bill->getId()}).toDouble(), -8.25);
        QCOMPARE(BookRows::value("select title from tbl_bill where id=?", {bill->getId()}).toString(), QString("车费"));
        QCOMPARE(BookRows::value("select date from tbl_bill where id=?", {bill->getId()}).toString(),
                 QString("2014-06-02"));
        QCOMPARE(BookRows::value("select month from tbl_bill where id=?", {bill->getId()}).toInt(), 201406);
    }

    void billRecreatedUnderAnOldIdCanBeRemovedAgain()
    {
        const MBillPtr bill = newBill("expense", -4, QDate(2014, 5, 17));
        QVERIFY(bill->insert());
        QVERIFY(bill->remove());
        QCOMPARE(rowsWithId("tbl_bill", bill->getId()), 0);
        QCOMPARE(rowsWithId("tbl_bill_deleted", bill->getId()), 1);

        // A sync brings the same bill back; its old copy in the twin must not block the second removal.
        BookRows::exec("insert into tbl_bill (id, kind, amount, description, date, month) "
                       "values (?, 'expense', -4, '', '2014-05-17', 201405)",
                       {bill->getId()});
        QVERIFY(bill->remove());
        QCOMPARE(rowsWithId("tbl_bill", bill->getId()), 0);
        QCOMPARE(rowsWithId("tbl_bill_deleted", bill->getId()), 1);
    }

    void listenersSeeOldTotalsThenMonthsChangeOnlyWithNewMonths()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('A', '现金', 'cash', 100)");
        BookRows::exec("insert into tbl_borrower (id, name) values ('P', '张三')");
        BookRows::addBill("expense", -10, {{"account_id", "A"}});
        QCOMPARE(accountBalance("A"), 90.0);
        QCOMPARE(borrowerTotal("P"), 0.0);
        MBill::getMonthList();

        QStringList notices;
        Notifier* notifier = Notifier::getInstance();
        connect(notifier, &Notifier::billDataChanged, this,
                [&] { notices << QString("bills %1 %2").arg(accountBalance("A")).arg(borrowerTotal("P")); });
        connect(notifier, &Notifier::monthListChanged, this,
                [&] { notices << QString("months %1 %2").arg(accountBalance("A")).arg(borrowerTotal("P")); });

        const MBillPtr lend = newBill("lend", -30, QDate(2014, 7, 1));
        lend->setAccountId("A");
        lend->setBorrowerId("P");
        QVERIFY(lend->insert());
        QCOMPARE(notices, (QStringList{"bills 90 0", "months 60 -30"}));

        notices.clear();
        const MBillPtr sameMonth = newBill("expense", -5, QDate(2014, 7, 2));
        sameMonth->setAccountId("A");
        QVERIFY(sameMonth->insert());
        QCOMPARE(notices, (QStringList{"bills 60 -30"}));
        QCOMPARE(accountBalance("A"), 55.0);

        notices.clear();
        QVERIFY(sameMonth->remove());
        QVERIFY(lend->remove());
        QCOMPARE(notices, (QStringList{"bills 55 -30", "bills 60 -30", "months 90 0"}));
        disconnect(notifier, nullptr, this, nullptr);
    }

    void firstChangeOfARunAnnouncesNoMonths()
    {
        QSignalSpy months(Notifier::getInstance(), &Notifier::monthListChanged);
        QVERIFY(newBill("expense", -1, QDate(2014, 5, 17))->insert());
        QCOMPARE(months.size(), 0);
        QVERIFY(newBill("expense", -1, QDate(2014, 8, 17))->insert());
        QCOMPARE(months.size(), 1);
    }

    void cloneCopiesEverythingButIdAndTree()
    {
        const MBillPtr bill = newBill("transfer", -50, QDate(2014, 5, 17));
        bill->setDescription("d");
        bill->setTitle("t");
        bill->setCategoryId("c");
        bill->setSubCategoryId("s");
        bill->setAccountId("a");
        bill->setToAccountId("b");
        bill->setBorrowerId("p");
        bill->setMemberId("m");
        QVERIFY(bill->insert());
        bill->setExpanded(false);
        bill->setGroup(true);
        bill->getChildren()->append(MBillPtr::create());

        const MBillPtr copy = bill->clone();
        QVERIFY(copy->getId().isEmpty());
        QCOMPARE(copy->getAmount(), -50.0);
        QCOMPARE(copy->getDate(), QDate(2014, 5, 17));
        QCOMPARE(copy->getMonth(), 201405);
        const QStringList fields{copy->getKind(),        copy->getDescription(),   copy->getTitle(),
                                 copy->getCategoryId(),  copy->getSubCategoryId(), copy->getAccountId(),
                                 copy->getToAccountId(), copy->getBorrowerId(),    copy->getMemberId()};
        QCOMPARE(fields, (QStringList{"transfer", "d", "t", "c", "s", "a", "b", "p", "m"}));
        QVERIFY(copy->getChildren()->isEmpty());
        QVERIFY(copy->isExpanded());
        QVERIFY(!copy->isGroup());
        QVERIFY(copy->insert());
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 2);
    }

    // A bill keeps every day it is given, and no day when it is given none.
    void keepsTheDayItIsGiven()
    {
        QVERIFY(MBill().getDate().isNull());
        for (const QDate& day :
             {QDate(), QDate(2014, 5, 17), QDate(1, 1, 1), QDate(-4713, 1, 2), QDate(9999, 12, 31)}) {
            MBill bill;
            bill.setDate(day);
            QCOMPARE(bill.clone()->getDate(), day);
            QCOMPARE(bill.getDate().isNull(), day.isNull());
        }
    }

    void droppedBillsAreReleasedOnceNobodyHoldsThem()
    {
        BookRows::addBill("expense", -1);
        QWeakPointer<MBill> watched = MBill::get(" 1=1 ")->first();
        QVERIFY(!watched.isNull());
        MBill::get(" kind='income' ");
        QVERIFY(watched.isNull());

        // A bill hung under a group names it weakly: the pair does not keep itself alive.
        MBillPtr group = MBillPtr::create();
        MBillPtr bill = MBill::get(" 1=1 ")->first();
        bill->setParent(group);
        group->getChildren()->append(bill);
        QCOMPARE(bill->getParent(), group);
        QWeakPointer<MBill> watchedGroup = group;
        watched = bill;
        group.reset();
        QVERIFY(watchedGroup.isNull());
        QVERIFY(!bill->getParent());
        bill.reset();
        MBill::dataChanged();
        QVERIFY(watched.isNull());
    }

    void relatedRecordsComeFromTheirOwnCaches()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('A', '现金', 'cash', 0)");
        BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('B', '银行卡', 'bank', 0)");
        BookRows::exec("insert into tbl_category (id, name, kind) values ('C', '餐饮', 'expense')");
        BookRows::exec(
            "insert into tbl_sub_category (id, category_id, name, kind) values ('S', 'C', '早餐', 'expense')");
        BookRows::exec("insert into tbl_borrower (id, name) values ('P', '张三')");
        BookRows::exec("insert into tbl_member (id, name) values ('M', '自己')");

        const MBillPtr empty = MBillPtr::create();
        QVERIFY(!empty->getAccount() && !empty->getToAccount() && !empty->getCategory());
        QVERIFY(!empty->getSubCategory() && !empty->getBorrower() && !empty->getMember());

        MBill bill;
        bill.setAccountId("A");
        bill.setToAccountId("B");
        bill.setCategoryId("C");
        bill.setSubCategoryId("S");
        bill.setBorrowerId("P");
        bill.setMemberId("M");
        QCOMPARE(bill.getAccount()->getName(), QString("现金"));
        QCOMPARE(bill.getToAccount()->getName(), QString("银行卡"));
        QCOMPARE(bill.getCategory()->getName(), QString("餐饮"));
        QCOMPARE(bill.getSubCategory()->getName(), QString("早餐"));
        QCOMPARE(bill.getBorrower()->getName(), QString("张三"));
        QCOMPARE(bill.getMember()->getName(), QString("自己"));

        bill.setCategoryId("S");
        QVERIFY(!bill.getCategory());
        QVERIFY(MAccount::remove(MAccount::getAccountById("A")));
        QVERIFY(!bill.getAccount());
        QCOMPARE(bill.getToAccount()->getName(), QString("银行卡"));

        QCOMPARE(bill.findAccount(*MAccount::get(), "B"), MAccount::getAccountById("B"));
        QVERIFY(!bill.findAccount(*MAccount::get(), "b"));
        QCOMPARE(bill.findMember(*MMember::getMemberList(), "M")->getName(), QString("自己"));
        QCOMPARE(bill.findBorrower(*MBorrower::getBorrowerList(), "P")->getName(), QString("张三"));
        QCOMPARE(bill.findCategory(*MCategory::getCategoryList("expense"), "C")->getName(), QString("餐饮"));
        QVERIFY(!bill.findCategory(*MCategory::getCategoryList("expense"), "S"));
    }
};

QTEST_MAIN(TestMBill)
#include "tst_mbill.moc"
