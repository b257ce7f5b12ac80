#include "bookrows.h"
#include "data/maccount.h"
#include "data/notifier.h"
#include "recordtest.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
void addAccount(const QString& id, double amount, int sort = 0)
{
    BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values (?, ?, 'cash', ?, ?)",
                   {id, "acc-" + id, amount, sort});
}

double balanceOf(const QString& id)
{
    const MAccount* account = MAccount::getAccountById(id);
    return account ? account->getBalance() : qQNaN();
}
} // namespace

class TestMAccount : public RecordTest
{
    Q_OBJECT

private slots:
    void balanceCountsBillsAndTransfersBothWays()
    {
        addAccount("A", 100);
        addAccount("B", 0);
        BookRows::addBill("expense", -30, {{"account_id", "A"}});
        BookRows::addBill("transfer", -50, {{"account_id", "A"}, {"to_account_id", "B"}});
        BookRows::addBill("transfer", -20, {{"account_id", "B"}, {"to_account_id", "A"}});
        BookRows::addBill("expense", -7, {{"account_id", "ghost"}});

        QCOMPARE(balanceOf("A"), 40.0);
        QCOMPARE(balanceOf("B"), 30.0);
    }

    void balanceFollowsBillsWithoutReload()
    {
        addAccount("A", 100);
        MAccount* account = MAccount::getAccountById("A");
        const QString bill = BookRows::addBill("income", 25, {{"account_id", "A"}});
        MAccount::calculateBalance();
        QCOMPARE(account->getBalance(), 125.0);

        // Deleting the last bill must bring the balance back to the opening amount, not keep the old sum.
        BookRows::exec("delete from tbl_bill where id=?", {bill});
        MAccount::calculateBalance();
        QCOMPARE(MAccount::getAccountById("A"), account);
        QCOMPARE(account->getBalance(), 100.0);
    }

    void calculateBalanceLoadsTheCache()
    {
        addAccount("A", 10);
        BookRows::addBill("expense", -4, {{"account_id", "A"}});
        MAccount::calculateBalance();
        QCOMPARE(MAccount::get()->size(), 1);
        QCOMPARE(balanceOf("A"), 6.0);
    }

    void insertGivesIdAndSort_data()
    {
        QTest::addColumn<QString>("presetId");
        QTest::newRow("empty id gets a new one") << "";
        QTest::newRow("preset id kept") << "01";
    }

    void insertGivesIdAndSort()
    {
        QFETCH(QString, presetId);
        addAccount("x", 0, 0);
        addAccount("y", 0, 5);
        addAccount("z", 0, 9);

        MAccount account;
        account.setId(presetId);
        account.setName("钱包");
        account.setKind("cash");
        account.setAmount(12.5);
        QSignalSpy spy(Notifier::getInstance(), &Notifier::accountDataChanged);
        QVERIFY(MAccount::insert(&account));
        QCOMPARE(spy.count(), 1);

        if (presetId.isEmpty()) {
            QCOMPARE(account.getId().size(), 36);
            QCOMPARE(account.getId().count('-'), 4);
            QVERIFY(!account.getId().contains('{'));
        } else {
            QCOMPARE(account.getId(), presetId);
        }
        // Three cached accounts: the new one gets 4 and so lists before the one with 5.
        QCOMPARE(account.getSort(), 4);
        QCOMPARE(MAccount::indexOf(&account), 1);
        QCOMPARE(MAccount::getAccountById(account.getId())->getAmount(), 12.5);
    }

    void failedWritesReportAndStillAnnounce()
    {
        MAccount account;
        account.setId("01");
        account.setName("a");
        account.setKind("cash");
        QVERIFY(MAccount::insert(&account));
        MAccount* cached = MAccount::getAccountById("01");

        QSignalSpy spy(Notifier::getInstance(), &Notifier::accountDataChanged);
        MAccount twin = account;
        QVERIFY(!MAccount::insert(&twin));
        QCOMPARE(spy.count(), 1);
        QVERIFY(MAccount::getAccountById("01") != cached);

        account.setName(QString()); // the name column refuses NULL
        QVERIFY(!MAccount::update(&account));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(BookRows::value("select name from tbl_account where id='01'").toString(), QString("a"));
    }

    void recordOutlivesTheCacheDrop()
    {
        addAccount("A", 1);
        addAccount("B", 2);
        MAccount* a = MAccount::getAccountById("A");
        MAccount* b = MAccount::getAccountById("B");
        // Moving swaps two sort values through two updates; the second record comes from before the drop.
        a->setSort(2);
        b->setSort(1);
        QVERIFY(MAccount::update(b));
        QVERIFY(MAccount::update(a));
        QCOMPARE(a->getName(), QString("acc-A"));
        QCOMPARE(MAccount::get()->first()->getId(), QString("B"));
        QCOMPARE(MAccount::indexOf(a), 1);
    }

    void billCount_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("expected");
        QTest::newRow("own account") << "account_id" << 1;
        QTest::newRow("transfer target only") << "to_account_id" << 1;
        QTest::newRow("borrower column") << "borrower_id" << 0;
    }

    void billCount()
    {
        QFETCH(QString, column);
        QFETCH(int, expected);
        addAccount("A", 0);
        BookRows::addBill("transfer", -5, {{column, "A"}});
        QCOMPARE(MAccount::getBillCount(MAccount::getAccountById("A")), expected);
    }

    void emptyTable()
    {
        MAccount stranger;
        stranger.setId("none");
        QVERIFY(MAccount::get()->isEmpty());
        QCOMPARE(MAccount::indexOf(&stranger), -1);
        QVERIFY(!MAccount::getAccountById("none"));
    }
};

QTEST_MAIN(TestMAccount)
#include "tst_maccount.moc"
