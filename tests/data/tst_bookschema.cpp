#include "bookrows.h"
#include "testbook.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

bool exec(const QString& sql)
{
    QSqlQuery q;
    return q.exec(sql);
}

} // namespace

class TestBookSchema : public QObject
{
    Q_OBJECT

private slots:
    void fileProperties()
    {
        TestBook book;
        book.open();
        QCOMPARE(BookRows::value("pragma page_size").toInt(), 1024);
        QCOMPARE(BookRows::value("pragma encoding").toString(), QString("UTF-8"));
        QCOMPARE(BookRows::value("pragma journal_mode").toString(), QString("delete"));
        QCOMPARE(BookRows::value("pragma user_version").toInt(), 0);
    }

    void objectOrder()
    {
        TestBook book;
        book.open();
        QStringList expected{"tbl_setting",
                             "tbl_bill",
                             "tbl_bill_deleted",
                             "android_metadata",
                             "tbl_budget",
                             "tbl_budget_deleted",
                             "tbl_budget_item_deleted",
                             "tbl_budget_item",
                             "bill_updated",
                             "bill_deleted",
                             "budget_updated",
                             "budget_deleted",
                             "budget_item_updated",
                             "budget_item_deleted",
                             "tbl_account",
                             "account_updated",
                             "account_deleted",
                             "tbl_borrower",
                             "borrow_updated",
                             "borrower_deleted",
                             "tbl_category",
                             "category_updated",
                             "category_deleted",
                             "tbl_member",
                             "member_updated",
                             "member_deleted",
                             "tbl_sub_category",
                             "sub_category_updated",
                             "sub_category_deleted",
                             "tbl_account_deleted",
                             "tbl_borrower_deleted",
                             "tbl_category_deleted",
                             "tbl_member_deleted",
                             "tbl_sub_category_deleted",
                             "bill_by_date",
                             "bill_by_month",
                             "bill_by_account",
                             "bill_by_to_account",
                             "bill_by_category",
                             "bill_by_sub_category",
                             "tbl_sync_pending"};
        for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"})
            for (const char* kind : {"inserted", "updated", "deleted"})
                expected << QString("%1_pending_%2").arg(table, kind);
        // The keys' own indexes have no statement of their own.
        QSqlQuery q("select name from sqlite_master where sql is not null order by rowid");
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        QCOMPARE(names, expected);
    }

    void initialRows()
    {
        TestBook book;
        book.open();
        QSqlQuery q("select user_id, password, sync_time, version, typeof(version) from tbl_setting");
        QVERIFY(q.next());
        QVERIFY(q.value(0).isNull());
        QVERIFY(q.value(1).isNull());
        QCOMPARE(q.value(2).toString(), QString("2008-08-08 08:08:08.000"));
        QCOMPARE(q.value(3).toInt(), 12);
        QCOMPARE(q.value(4).toString(), QString("integer"));
        QVERIFY(!q.next());
        QCOMPARE(BookRows::value("select locale from android_metadata").toString(), QString("zh_CN"));
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 0);
    }

    void billDefaults()
    {
        TestBook book;
        book.open();
        QVERIFY(exec("insert into tbl_bill (id, amount, description, date, month, kind) "
                     "values ('b1', -1.5, '', '2014-05-17', 201405, 'expense')"));
        QSqlQuery q("select category_id, account_id, to_account_id, sub_category_id, borrower_id, member_id, "
                    "typeof(category_id), user_id from tbl_bill");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("0"));
        QCOMPARE(q.value(1).toString(), QString("0"));
        QCOMPARE(q.value(2).toString(), QString("0"));
        QVERIFY(q.value(3).isNull());
        QVERIFY(q.value(4).isNull());
        QVERIFY(q.value(5).isNull());
        QCOMPARE(q.value(6).toString(), QString("text"));
        QCOMPARE(q.value(7).toInt(), 0);
        // Description may be empty but never NULL.
        QVERIFY(!exec("insert into tbl_bill (id, amount, description, date, month, kind) "
                      "values ('b2', 1, null, '2014-05-17', 201405, 'income')"));
    }

    void updateTriggers()
    {
        TestBook book;
        book.open();
        QVERIFY(exec("insert into tbl_member (id, name, version) values ('m1', 'A', '2000-01-01 00:00:00')"));

        // A plain update restamps the row.
        QVERIFY(exec("update tbl_member set name = 'B' where id = 'm1'"));
        QVERIFY(BookRows::value("select version from tbl_member where id = 'm1'").toString() > "2020");

        // An explicit stamp is kept.
        QVERIFY(exec("update tbl_member set name = 'C', version = '2007-07-07 07:07:07' where id = 'm1'"));
        QCOMPARE(BookRows::value("select version from tbl_member").toString(), QString("2007-07-07 07:07:07"));

        // Changing the id keeps the stamp.
        QVERIFY(exec("update tbl_member set id = 'pm1' where id = 'm1'"));
        QCOMPARE(BookRows::value("select version from tbl_member where id = 'pm1'").toString(),
                 QString("2007-07-07 07:07:07"));

        // A sub-category keeps its stamp when its parent id changes length.
        QVERIFY(exec("insert into tbl_sub_category (id, category_id, name, kind, version) "
                     "values ('s1', '11', 'x', 'expense', '2007-07-07 07:07:07')"));
        QVERIFY(exec("update tbl_sub_category set category_id = 'prefix11' where id = 's1'"));
        QCOMPARE(BookRows::value("select version from tbl_sub_category").toString(), QString("2007-07-07 07:07:07"));
    }

    void deleteTriggerFillsTwin()
    {
        TestBook book;
        book.open();
        QVERIFY(exec("insert into tbl_member (id, name, description, sort, version) "
                     "values ('m1', 'A', 'd', 3, '2000-01-01 00:00:00')"));
        QVERIFY(exec("delete from tbl_member where id = 'm1'"));
        QCOMPARE(BookRows::value("select count(*) from tbl_member").toInt(), 0);
        QSqlQuery q("select name, description, sort, version from tbl_member_deleted where id = 'm1'");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("A"));
        QCOMPARE(q.value(1).toString(), QString("d"));
        QCOMPARE(q.value(2).toInt(), 3);
        QVERIFY(q.value(3).toString() > "2020");

        // The twin's key refuses a second deletion of the same id: the row stays.
        QVERIFY(exec("insert into tbl_member (id, name) values ('m1', 'again')"));
        QVERIFY(!exec("delete from tbl_member where id = 'm1'"));
        QCOMPARE(BookRows::value("select count(*) from tbl_member").toInt(), 1);
        QCOMPARE(BookRows::value("select count(*) from tbl_member_deleted").toInt(), 1);
    }
};

QTEST_MAIN(TestBookSchema)
#include "tst_bookschema.moc"
