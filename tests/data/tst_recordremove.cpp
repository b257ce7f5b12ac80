#include "bookrows.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "recordtest.h"

#include <QtTest>

namespace {
enum class Write
{
    Insert,
    Update,
    Remove
};

template <typename Record> bool writeThrough(Record* record, Write write)
{
    switch (write) {
    case Write::Insert:
        return Record::insert(record);
    case Write::Update:
        return Record::update(record);
    default:
        return Record::remove(record);
    }
}

// Writes the record with id "01" of one master-data table through its class.
bool write(const QString& table, Write write)
{
    if (table == "tbl_bill") {
        // A bill insert draws a new id, so the bill under test is written with plain SQL.
        if (write == Write::Insert)
            BookRows::exec("insert into tbl_bill (id,kind,amount,description,date,month) "
                           "values ('01','expense',1,'','2014-05-17',201405)");
        MBill b;
        b.setId("01");
        return write == Write::Insert || (write == Write::Update ? b.update() : b.remove());
    }
    if (table == "tbl_account") {
        MAccount a;
        a.setId("01");
        a.setName("a");
        a.setKind("cash");
        return writeThrough(&a, write);
    }
    if (table == "tbl_borrower") {
        MBorrower b;
        b.setId("01");
        b.setName("b");
        return writeThrough(&b, write);
    }
    if (table == "tbl_member") {
        MMember m;
        m.setId("01");
        m.setName("m");
        return writeThrough(&m, write);
    }
    MCategory c;
    c.setId("01");
    c.setName("c");
    c.setKind("expense");
    if (table == "tbl_sub_category")
        c.setCategoryId("c1");
    return write == Write::Insert ? c.insert() : write == Write::Update ? c.update() : c.remove();
}

void addTableRows()
{
    QTest::addColumn<QString>("table");
    for (const char* table : {"tbl_account", "tbl_borrower", "tbl_member", "tbl_category", "tbl_sub_category"})
        QTest::newRow(table) << table;
}

int rows(const QString& table)
{
    return BookRows::value("select count(*) from " + table + " where id='01'").toInt();
}
} // namespace

class TestRecordRemove : public RecordTest
{
    Q_OBJECT

private slots:
    // A record re-created under an id that was deleted before (a default record, an import) must be
    // removable again: the twin table already holds a row with that id.
    void removeAgainAfterRecreating_data() { addTableRows(); }

    void removeAgainAfterRecreating()
    {
        QFETCH(QString, table);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(write(table, Write::Insert));
            QCOMPARE(rows(table), 1);
            QVERIFY(write(table, Write::Remove));
            QCOMPARE(rows(table), 0);
            QCOMPARE(rows(table + "_deleted"), 1);
        }
    }

    // A second remove (or one after a sync removed the row) deleted nothing: it must say so and keep the
    // deletion that the sync still has to upload.
    void removeOfARowThatIsGoneKeepsTheDeletion_data()
    {
        addTableRows();
        QTest::newRow("tbl_bill") << "tbl_bill";
    }

    void removeOfARowThatIsGoneKeepsTheDeletion()
    {
        QFETCH(QString, table);
        QVERIFY(!write(table, Write::Remove));
        QVERIFY(write(table, Write::Insert));
        QVERIFY(write(table, Write::Remove));
        QVERIFY(!write(table, Write::Remove));
        QCOMPARE(rows(table + "_deleted"), 1);
    }

    // A dialog saving a record that a sync removed meanwhile must not close as if the edit were kept.
    void updateOfARowThatIsGoneFails_data() { addTableRows(); }

    void updateOfARowThatIsGoneFails()
    {
        QFETCH(QString, table);
        QVERIFY(!write(table, Write::Update));
        QVERIFY(write(table, Write::Insert));
        QVERIFY(write(table, Write::Update));
        QCOMPARE(rows(table), 1);
    }

    // Several bills go at once or, when one cannot go, none does.
    void removeAllIsAllOrNothing()
    {
        for (int i = 0; i < 3; ++i)
            BookRows::addBill("expense", -1);
        const MBillList bills = *MBill::get(" 1=1 ");
        BookRows::failBillAt("delete", bills.at(1)->getId());
        QVERIFY(!MBill::removeAll(bills));
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 3);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill_deleted").toInt(), 0);
    }
};

QTEST_MAIN(TestRecordRemove)
#include "tst_recordremove.moc"
