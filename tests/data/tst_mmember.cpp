#include "bookrows.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "recordtest.h"

#include <QSignalSpy>
#include <QtTest>

class TestMMember : public RecordTest
{
    Q_OBJECT

private slots:
    void insertAndReadBack()
    {
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m1', 'Mum', 3), ('m2', 'Dad', 1)");
        MMember kid;
        kid.setName("Kid");
        QSignalSpy spy(Notifier::getInstance(), &Notifier::memberDataChanged);
        QVERIFY(MMember::insert(&kid));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(kid.getId().size(), 36);
        QCOMPARE(kid.getSort(), 3);

        const QList<MMember*> list = *MMember::getMemberList();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.first()->getName(), QString("Dad"));
        QVERIFY(MMember::getMemberById("m1"));
        QCOMPARE(MMember::indexOf(&kid), MMember::indexOf(MMember::getMemberById(kid.getId())));
    }

    void staleRecordCanBeUpdated()
    {
        BookRows::exec("insert into tbl_member (id, name) values ('m1', 'Mum')");
        MMember* mum = MMember::getMemberById("m1");
        mum->setDescription("first");
        QVERIFY(MMember::update(mum));
        // The cache was dropped; the record handed out before still reads and writes.
        mum->setDescription("second");
        QVERIFY(MMember::update(mum));
        QCOMPARE(MMember::getMemberById("m1")->getDescription(), QString("second"));
        QVERIFY(MMember::getMemberById("m1") != mum);
    }

    void billCountCoversEveryKind()
    {
        BookRows::exec("insert into tbl_member (id, name) values ('m1', 'Mum')");
        BookRows::addBill("expense", -1, {{"member_id", "m1"}});
        BookRows::addBill("income", 1, {{"member_id", "m1"}});
        BookRows::addBill("expense", -1, {{"member_id", "m2"}});
        QCOMPARE(MMember::getBillCount(MMember::getMemberById("m1")), 2);
    }

    void emptyTable()
    {
        MMember stranger;
        QVERIFY(MMember::getMemberList()->isEmpty());
        QCOMPARE(MMember::indexOf(&stranger), -1);
        QVERIFY(!MMember::getMemberById("m1"));
    }
};

QTEST_MAIN(TestMMember)
#include "tst_mmember.moc"
