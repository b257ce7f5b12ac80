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

    // Deleting a record of any synced table leaves it in the table's deletion twin, stamped with the time of its
    // deletion: the stamp the sync weighs the deletion by against the record's other copies.
    void deleteTriggerFillsTwin_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("keptValue");
        const auto row = [](const char* table, const char* columns, const char* values, const char* kept,
                            const char* keptValue) {
            QTest::newRow(table) << QString(table) << QString(columns) << QString(values) << QString(kept)
                                 << QString(keptValue);
        };
        row("tbl_member", "name, description, sort", "'A', 'd', 3", "name || '/' || description || '/' || sort",
            "A/d/3");
        row("tbl_bill", "amount, description, date, month, kind", "-1.5, 'x', '2014-05-17', 201405, 'expense'",
            "date || '/' || month || '/' || amount", "2014-05-17/201405/-1.5");
        row("tbl_budget", "start_date, end_date, description", "'2014-05-01', '2014-05-31', 'b'",
            "start_date || '/' || end_date", "2014-05-01/2014-05-31");
        row("tbl_budget_item", "budget_id, category_id, sub_category_id, amount", "'b1', 'c1', 's1', 9.5",
            "budget_id || '/' || amount", "b1/9.5");
        row("tbl_account", "name, kind, amount", "'A', 'cash', 7.5", "name || '/' || amount", "A/7.5");
        row("tbl_borrower", "name, kind", "'A', 'person'", "name || '/' || kind", "A/person");
        row("tbl_category", "name, kind", "'A', 'expense'", "name || '/' || kind", "A/expense");
        row("tbl_sub_category", "category_id, name, kind", "'c1', 'A', 'income'", "category_id || '/' || kind",
            "c1/income");
    }

    void deleteTriggerFillsTwin()
    {
        QFETCH(QString, table);
        QFETCH(QString, columns);
        QFETCH(QString, values);
        QFETCH(QString, kept);
        QFETCH(QString, keptValue);
        TestBook book;
        book.open();
        const QString insert = QString("insert into %1 (id, %2, version) values ('r1', %3, '2000-01-01 00:00:00')")
                                   .arg(table, columns, values);
        QVERIFY(exec(insert));
        const QString deletedAt = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
        QVERIFY(exec("delete from " + table + " where id = 'r1'"));
        QCOMPARE(BookRows::value("select count(*) from " + table).toInt(), 0);
        QCOMPARE(BookRows::value("select " + kept + " from " + table + "_deleted where id = 'r1'").toString(),
                 keptValue);
        const QString stamp = BookRows::value("select version from " + table + "_deleted").toString();
        QVERIFY2(stamp >= deletedAt, qPrintable(stamp + " before " + deletedAt));

        // The twin's key refuses a second deletion of the same id: the row stays.
        QVERIFY(exec(insert));
        QVERIFY(!exec("delete from " + table + " where id = 'r1'"));
        QCOMPARE(BookRows::value("select count(*) from " + table).toInt(), 1);
        QCOMPARE(BookRows::value("select count(*) from " + table + "_deleted").toInt(), 1);
    }
};

QTEST_MAIN(TestBookSchema)
#include "tst_bookschema.moc"
