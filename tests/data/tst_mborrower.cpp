#include "bookrows.h"
#include "data/mborrower.h"
#include "data/notifier.h"
#include "recordtest.h"

#include <QSignalSpy>
#include <QtTest>

class TestMBorrower : public RecordTest
{
    Q_OBJECT

private slots:
    void totalsFollowTheBills()
    {
        BookRows::exec("insert into tbl_borrower (id, name) values ('P', 'Pat'), ('Q', 'Quin')");
        const QString lend = BookRows::addBill("lend", -100, {{"borrower_id", "P"}});
        const QString refund = BookRows::addBill("refund", 30, {{"borrower_id", "P"}});
        BookRows::addBill("borrow", 40, {{"borrower_id", "Q"}});
        BookRows::addBill("lend", -8, {{"borrower_id", "nobody"}});

        MBorrower* p = MBorrower::getBorrowerById("P");
        QCOMPARE(p->getBalance(), -70.0);
        QCOMPARE(MBorrower::getBorrowerById("Q")->getBalance(), 40.0);

        BookRows::exec("delete from tbl_bill where id in (?, ?)", {lend, refund});
        MBorrower::calculateBalance();
        QCOMPARE(p->getBalance(), 0.0);
    }

    void insertWritesNoKind_data()
    {
        QTest::addColumn<QString>("presetId");
        QTest::newRow("empty id gets a new one") << "";
        QTest::newRow("preset id kept") << "01";
    }

    void insertWritesNoKind()
    {
        QFETCH(QString, presetId);
        BookRows::exec("insert into tbl_borrower (id, name, kind, sort) values ('old', 'Old', 'lend', 7)");
        MBorrower borrower;
        borrower.setId(presetId);
        borrower.setName("Ann");
        borrower.setDescription("neighbour");
        QSignalSpy spy(Notifier::getInstance(), &Notifier::borrowerDataChanged);
        QVERIFY(MBorrower::insert(&borrower));
        QCOMPARE(spy.count(), 1);

        if (presetId.isEmpty())
            QVERIFY(QUuid::fromString(borrower.getId()) != QUuid() && borrower.getId().size() == 36);
        else
            QCOMPARE(borrower.getId(), presetId);
        QCOMPARE(borrower.getSort(), 2);
        QVERIFY(BookRows::value("select kind from tbl_borrower where id=?", {borrower.getId()}).isNull());
        QCOMPARE(MBorrower::getBorrowerById(borrower.getId())->getDescription(), QString("neighbour"));
        QCOMPARE(MBorrower::indexOf(&borrower), 0);
    }

    void billCountCoversEveryKind()
    {
        BookRows::exec("insert into tbl_borrower (id, name) values ('P', 'Pat')");
        for (const char* kind : {"lend", "borrow", "refund", "repay", "expense"})
            BookRows::addBill(kind, 1, {{"borrower_id", "P"}});
        BookRows::addBill("lend", 1, {{"member_id", "P"}});
        QCOMPARE(MBorrower::getBillCount(MBorrower::getBorrowerById("P")), 5);
    }

    void failedUpdateReportsAndStillAnnounces()
    {
        BookRows::exec("insert into tbl_borrower (id, name) values ('P', 'Pat')");
        MBorrower* p = MBorrower::getBorrowerById("P");
        QSignalSpy spy(Notifier::getInstance(), &Notifier::borrowerDataChanged);
        p->setName(QString());
        QVERIFY(!MBorrower::update(p));
        QCOMPARE(spy.count(), 1);
        p->setName("Pia");
        QVERIFY(MBorrower::update(p));
        QCOMPARE(MBorrower::getBorrowerById("P")->getName(), QString("Pia"));
    }

    void emptyTable()
    {
        MBorrower stranger;
        QVERIFY(MBorrower::getBorrowerList()->isEmpty());
        QCOMPARE(MBorrower::indexOf(&stranger), -1);
        QVERIFY(!MBorrower::getBorrowerById(""));
    }
};

QTEST_MAIN(TestMBorrower)
#include "tst_mborrower.moc"
