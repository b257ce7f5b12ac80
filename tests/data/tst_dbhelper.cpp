#include "bookrows.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "testbook.h"

#include <QSqlQuery>
#include <QtTest>

namespace {

void setStoredVersion(int version)
{
    BookRows::exec(QString("update tbl_setting set version = %1").arg(version));
    DbSetting::resetInstance();
}

QStringList columns(const QString& table)
{
    QSqlQuery q("pragma table_info(" + table + ")");
    QStringList names;
    while (q.next())
        names << q.value(1).toString();
    return names;
}

} // namespace

class TestDBHelper : public QObject
{
    Q_OBJECT

private slots:
    void newBookRunsOnlyTheLastStep()
    {
        TestBook book;
        book.open();
        QVERIFY(DBHelper::getInstance()->upgrade());
        QCOMPARE(BookRows::value("select version from tbl_setting").toInt(), 44);
        QCOMPARE(BookRows::value("select count(*) from tbl_account").toInt(), 0);
    }

    void sortsBroughtBackIntoRange()
    {
        TestBook book;
        book.open();
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a', 'a', 'cash', 0, 7), "
                       "('b', 'b', 'cash', 0, 2), ('c', 'c', 'cash', 0, -1)");
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m', 'm', 5)");
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('k', 'k', 'expense', 9)");
        setStoredVersion(41);
        QVERIFY(DBHelper::getInstance()->upgrade());
        QCOMPARE(
            BookRows::value("select group_concat(sort) from (select sort from tbl_account order by id)").toString(),
            QString("3,2,3"));
        QCOMPARE(BookRows::value("select sort from tbl_member").toInt(), 1);
        QCOMPARE(BookRows::value("select sort from tbl_category").toInt(), 9);
    }

    void futureStampsClampedWithoutRewritingTheRow()
    {
        TestBook book;
        book.open();
        setStoredVersion(44);
        BookRows::exec("insert into tbl_bill (id, amount, description, date, month, kind, version) values "
                       "('b', 1, '', '2014-01-01', 201401, 'income', datetime('now', '+1 year'))");
        BookRows::exec("update tbl_setting set password = 'untouched'");
        QVERIFY(DBHelper::getInstance()->upgrade());
        QVERIFY(BookRows::value("select version <= current_timestamp from tbl_bill").toBool());
        QCOMPARE(BookRows::value("select password from tbl_setting").toString(), QString("untouched"));
    }

    void newerBookKeepsItsVersion()
    {
        TestBook book;
        book.open();
        setStoredVersion(45);
        QVERIFY(DBHelper::getInstance()->upgrade());
        QCOMPARE(BookRows::value("select version from tbl_setting").toInt(), 45);
    }

    void veryOldBookGetsCategories()
    {
        TestBook book;
        book.open();
        BookRows::dropBillIndexes();
        for (const char* t : {"tbl_category", "tbl_category_deleted", "tbl_sub_category", "tbl_sub_category_deleted"})
            BookRows::exec(QString("drop table %1").arg(t));
        for (const char* t : {"tbl_bill", "tbl_bill_deleted"}) {
            BookRows::exec(QString("alter table %1 drop column category_id").arg(t));
            BookRows::exec(QString("alter table %1 drop column sub_category_id").arg(t));
        }
        setStoredVersion(6);
        QVERIFY(DBHelper::getInstance()->upgrade());
        QCOMPARE(BookRows::value("select version from tbl_setting").toInt(), 44);
        QCOMPARE(columns("tbl_bill").mid(columns("tbl_bill").size() - 2),
                 (QStringList{"category_id", "sub_category_id"}));
        QCOMPARE(columns("tbl_bill"), columns("tbl_bill_deleted"));
        QCOMPARE(
            BookRows::value("select count(*) from sqlite_master where type = 'trigger' and tbl_name like '%category'")
                .toInt(),
            4);

        // Those triggers restamp even an update that sets the stamp itself.
        BookRows::exec("insert into tbl_category (id, name, kind) values ('c', 'c', 'expense')");
        BookRows::exec("update tbl_category set version = '2007-07-07 07:07:07' where id = 'c'");
        QVERIFY(BookRows::value("select version from tbl_category").toString() > "2020");
    }

    void objectsAlreadyThereAreTolerated()
    {
        TestBook book;
        book.open();
        // A book stamped 7 that already has every object of the step.
        setStoredVersion(7);
        QVERIFY(DBHelper::getInstance()->upgrade());
        QCOMPARE(BookRows::value("select version from tbl_setting").toInt(), 44);
    }

    void otherFailuresKeepTheStoredVersion()
    {
        TestBook book;
        book.open();
        BookRows::exec("drop table tbl_member");
        setStoredVersion(41);
        QVERIFY(!DBHelper::getInstance()->upgrade());
        QCOMPARE(BookRows::value("select version from tbl_setting").toInt(), 41);
    }
};

QTEST_MAIN(TestDBHelper)
#include "tst_dbhelper.moc"
