#include "bookrows.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "testbook.h"

#include <QtTest>

namespace {
// Writes (insert) or deletes (remove) the record with id "01" of one master-data table through its class.
bool write(const QString& table, bool insert)
{
    if (table == "tbl_account") {
        MAccount a;
        a.setId("01");
        a.setName("a");
        a.setKind("cash");
        return insert ? MAccount::insert(&a) : MAccount::remove(&a);
    }
    if (table == "tbl_borrower") {
        MBorrower b;
        b.setId("01");
        b.setName("b");
        return insert ? MBorrower::insert(&b) : MBorrower::remove(&b);
    }
    if (table == "tbl_member") {
        MMember m;
        m.setId("01");
        m.setName("m");
        return insert ? MMember::insert(&m) : MMember::remove(&m);
    }
    MCategory c;
    c.setId("01");
    c.setName("c");
    c.setKind("expense");
    if (table == "tbl_sub_category")
        c.setCategoryId("c1");
    return insert ? c.insert() : c.remove();
}

int rows(const QString& table)
{
    return BookRows::value("select count(*) from " + table + " where id='01'").toInt();
}
} // namespace

class TestRecordRemove : public QObject
{
    Q_OBJECT

private slots:
    void removeAgainAfterRecreating_data()
    {
        QTest::addColumn<QString>("table");
        for (const char* table : {"tbl_account", "tbl_borrower", "tbl_member", "tbl_category", "tbl_sub_category"})
            QTest::newRow(table) << table;
    }

    // A record re-created under an id that was deleted before (a default record, an import) must be
    // removable again: the twin table already holds a row with that id.
    void removeAgainAfterRecreating()
    {
        QFETCH(QString, table);
        TestBook book;
        book.open();
        BookRows::dropCaches();

        for (int round = 0; round < 2; ++round) {
            QVERIFY(write(table, true));
            QCOMPARE(rows(table), 1);
            QVERIFY(write(table, false));
            QCOMPARE(rows(table), 0);
            QCOMPARE(rows(table + "_deleted"), 1);
        }
        BookRows::dropCaches();
    }
};

QTEST_MAIN(TestRecordRemove)
#include "tst_recordremove.moc"
