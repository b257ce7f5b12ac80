#include "bookdump.h"
#include "bookrows.h"
#include "data/dbsetting.h"
#include "online/json.h"
#include "online/syncanswer.h"
#include "online/syncbinding.h"
#include "online/syncchangeset.h"
#include "online/syncmerge.h"
#include "online/syncsql.h"
#include "recordtest.h"

#include <QtTest>

namespace {
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QString older = "2020-01-01 00:00:00";
const QString same = "2020-06-01 00:00:00";
const QString newer = "2021-01-01 00:00:00";
const QDateTime start(QDate(2022, 3, 4), QTime(5, 6, 7), Qt::UTC);

void addBill(const QString& table, const QString& id, double amount, const QString& version,
             const QString& accountId = QString())
{
    BookRows::exec("insert into " + table +
                       " (id, amount, description, date, month, kind, account_id, version) values (?,?,'',"
                       "'2014-05-17',201405,'expense',?,?)",
                   {id, amount, accountId, version});
}

// A master record with every column its table refuses to leave empty.
void addMaster(const QString& table, const QString& id, const QString& version)
{
    QStringList columns{"id", "version", "name"};
    QVariantList values{id, version, "k"};
    for (const char* column : {"kind", "amount", "category_id"})
        if (SyncChangeSet::syncedColumns(table).contains(column))
            columns << column, values << "0";
    const QString marks = QStringList(QList<QString>(columns.size(), "?")).join(',');
    BookRows::exec("insert into " + table + " (" + columns.join(',') + ") values (" + marks + ")", values);
}

QVariantMap entry(const QString& table, const QVariantList& rows, const QVariantList& deletions = {})
{
    return {{"table_name", table},
            {"update_columns", QStringList{"id", "amount", "description", "date", "month", "kind", "version"}},
            {"update_data", rows},
            {"delete_data", deletions}};
}

// Rows and pairs as single values, so that a list of one is not taken for the list itself.
QVariant billRow(const QString& id, const QString& amount, const QString& version)
{
    return QVariantList{id, amount, "it's", "2014-05-17", "201405", "expense", version};
}

QVariant pair(const QString& id, const QString& stamp)
{
    return QVariantList{id, stamp};
}

// JSON text written with backquotes for double quotes, which keeps the test rows readable.
QString json(QString text)
{
    return text.replace('`', '"');
}

bool merge(const QVariantList& answer)
{
    QList<SyncAnswer::Entry> entries;
    return SyncAnswer::read(answer, tables, entries) && SyncMerge::apply(entries, start);
}
} // namespace

class TestSyncMerge : public RecordTest
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        SyncSql::setFailureHook({});
        RecordTest::cleanup();
    }

    void changeSetOfASmallBook()
    {
        addBill("tbl_bill", "a", 12.5, newer);
        addBill("tbl_bill", "b", -30, same);
        addBill("tbl_bill", "c", 0.1, older);
        addBill("tbl_bill_deleted", "d", 1, newer);
        addBill("tbl_bill_deleted", "e", 1, older);
        QVariantList entries;
        QVERIFY(SyncChangeSet::build(tables, same, entries));

        QCOMPARE(entries.size(), 6);
        const QVariantMap bill = entries.at(0).toMap();
        QCOMPARE(bill.value("table_name").toString(), QString("bill"));
        QCOMPARE(bill.value("update_columns").toStringList(),
                 QStringList({"id", "title", "amount", "description", "date", "month", "category_id", "sub_category_id",
                              "account_id", "to_account_id", "borrower_id", "member_id", "kind", "created_time",
                              "version"}));
        QStringList rows;
        for (const QVariant& row : bill.value("update_data").toList()) {
            QStringList values = row.toStringList();
            values.removeAt(13); // created_time: the moment of the insert
            rows << values.join('|');
        }
        rows.sort();
        QCOMPARE(rows, QStringList({"a||12.5||2014-05-17|201405|0|||0|||expense|" + newer,
                                    "b||-30||2014-05-17|201405|0|||0|||expense|" + same}));
        QCOMPARE(bill.value("delete_data").toList(), QVariantList({pair("d", newer)}));
        QCOMPARE(entries.at(5).toMap().value("update_columns").toStringList(),
                 QStringList({"id", "name", "description", "sort", "version"}));
        QCOMPARE(entries.at(5).toMap().value("delete_columns").toStringList(), QStringList({"id", "version"}));
        QCOMPARE(JSON::getInstance()->serialize(entries.at(5)).left(40),
                 QString("{ \"delete_columns\" : [ \"id\", \"version\" ]"));
    }

    void conflictRules_data()
    {
        QTest::addColumn<QString>("local"); // "row", "twin" or "none", stamped `same`
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("expected"); // the row's amount and version, or "-"
        QTest::addColumn<QString>("twin");     // the twin's stamp, or "-"

        QTest::newRow("newer row replaces") << "row" << false << newer << "2|" + newer << "-";
        QTest::newRow("equal row keeps local") << "row" << false << same << "1|" + same << "-";
        QTest::newRow("older row keeps local") << "row" << false << older << "1|" + same << "-";
        QTest::newRow("new row") << "none" << false << same << "2|" + same << "-";
        QTest::newRow("row beats older deletion") << "twin" << false << newer << "2|" + newer << "-";
        QTest::newRow("row beats equal deletion") << "twin" << false << same << "2|" + same << "-";
        QTest::newRow("newer deletion keeps row out") << "twin" << false << older << "-" << same;
        QTest::newRow("newer deletion removes row, keeps its stamp") << "row" << true << newer << "-" << newer;
        QTest::newRow("equal deletion keeps row") << "row" << true << same << "1|" + same << "-";
        QTest::newRow("older deletion keeps row") << "row" << true << older << "1|" + same << "-";
        QTest::newRow("deletion of an unknown row") << "none" << true << newer << "-"
                                                    << "-";
    }
    void conflictRules()
    {
        QFETCH(QString, local);
        QFETCH(bool, deletion);
        QFETCH(QString, received);
        QFETCH(QString, expected);
        QFETCH(QString, twin);
        if (local != "none")
            addBill(local == "row" ? "tbl_bill" : "tbl_bill_deleted", "z", 1, same);

        const QVariantMap bill =
            deletion ? entry("bill", {}, {pair("z", received)}) : entry("bill", {billRow("z", "2", received)});
        QVERIFY(merge({bill}));

        const QVariant amount = BookRows::value("select amount from tbl_bill where id='z'");
        QCOMPARE(amount.isValid()
                     ? amount.toString() + "|" + BookRows::value("select version from tbl_bill where id='z'").toString()
                     : QString("-"),
                 expected);
        if (expected.startsWith("2|"))
            QCOMPARE(BookRows::value("select description from tbl_bill where id='z'").toString(), QString("it's"));
        QCOMPARE(BookRows::value("select version from tbl_bill_deleted where id='z'").toString(),
                 twin == "-" ? QString() : twin);
        QCOMPARE(BookRows::value("select sync_time from tbl_setting").toString(), QString("2022-03-04 05:06:07"));
    }

    void repairBringsBackNamedRecords_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::newRow("account") << "account"
                                 << "account_id";
        QTest::newRow("account a transfer enters") << "account"
                                                   << "to_account_id";
        QTest::newRow("borrower") << "borrower"
                                  << "borrower_id";
        QTest::newRow("category") << "category"
                                  << "category_id";
        QTest::newRow("sub-category") << "sub_category"
                                      << "sub_category_id";
        QTest::newRow("member") << "member"
                                << "member_id";
    }
    void repairBringsBackNamedRecords()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        addMaster("tbl_" + table, "k1", older);
        addMaster("tbl_" + table, "k2", older);
        addMaster("tbl_" + table, "gone", older);
        addBill("tbl_bill", "b1", 1, older);
        addBill("tbl_bill", "b2", 1, older);
        BookRows::exec("update tbl_bill set " + column + "='k1' where id='b1'");
        BookRows::exec("update tbl_bill set " + column + "='k2' where id='b2'");

        QVariantMap deletions{{"table_name", table},
                              {"delete_data", QVariantList{pair("k1", newer), pair("k2", newer), pair("gone", newer)}}};
        QVERIFY(merge({deletions}));

        const QString data = "tbl_" + table;
        QCOMPARE(BookRows::value("select group_concat(id) from (select id from " + data + " order by id)").toString(),
                 QString("k1,k2"));
        QCOMPARE(BookRows::value("select group_concat(id) from " + data + "_deleted").toString(), QString("gone"));
        // Stamped after the sync began, so the next sync sends the records back to the service.
        QVERIFY(BookRows::value("select min(version) from " + data).toString() > start.toString(Qt::ISODate));
    }

    void bindingPrefixesDefaultIds_data()
    {
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("five characters") << "12345"
                                         << "123";
        QTest::newRow("two characters") << "ab"
                                        << "";
        QTest::newRow("quotes stay text") << "a'b--x"
                                          << "a'b-";
    }
    void bindingPrefixesDefaultIds()
    {
        QFETCH(QString, userId);
        QFETCH(QString, prefix);
        const QString uuid = "0123456789abcdef0123456789abcdef0123";
        addMaster("tbl_account", "01", "2007-07-07 07:07:07");
        addMaster("tbl_account", uuid, "2007-07-07 07:07:07");
        addMaster("tbl_sub_category", "05", "2007-07-07 07:07:07");
        BookRows::exec("update tbl_sub_category set category_id='02'");
        addBill("tbl_bill", uuid, 1, older, "01");
        addBill("tbl_bill_deleted", uuid, 1, older, "01");

        QVERIFY(SyncBinding::bind(userId));

        QCOMPARE(BookRows::value("select count(*) from tbl_account where id in (?, ?)", {uuid, prefix + "01"}).toInt(),
                 2);
        QCOMPARE(BookRows::value("select account_id from tbl_bill").toString(), prefix + "01");
        QCOMPARE(BookRows::value("select account_id from tbl_bill_deleted").toString(), prefix + "01");
        QCOMPARE(BookRows::value("select id || category_id from tbl_sub_category").toString(),
                 prefix + "05" + prefix + "02");
        QCOMPARE(BookRows::value("select min(version) from tbl_account").toString(), QString("2007-07-07 07:07:07"));
        QCOMPARE(BookRows::value("select user_id from tbl_setting").toString(), userId);
        QCOMPARE(DbSetting::getInstance()->getUserId(), userId);
        if (!prefix.isEmpty())
            QVERIFY(BookRows::value("select version from tbl_bill").toString() > older);
    }

    void bindingFailureKeepsTheBookUnbound_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("begin") << "BEGIN";
        QTest::newRow("first statement") << "update tbl_bill set";
        QTest::newRow("last statement") << "update tbl_member_deleted";
        QTest::newRow("settings row") << "settings";
        QTest::newRow("commit") << "COMMIT";
    }
    void bindingFailureKeepsTheBookUnbound()
    {
        QFETCH(QString, failing);
        addMaster("tbl_account", "01", "2007-07-07 07:07:07");
        addBill("tbl_bill", "b", 1, older, "01");
        if (failing == "settings")
            BookRows::exec("create trigger refuse before update on tbl_setting begin select raise(abort, 'no'); end");
        else
            SyncSql::setFailureHook([failing](const QString& sql) { return sql.startsWith(failing); });
        const QString before = BookDump::of(BookDump::allTables());

        QVERIFY(!SyncBinding::bind("12345"));

        QCOMPARE(BookDump::of(BookDump::allTables()), before);
        QCOMPARE(DbSetting::getInstance()->getUserId(), QString());
    }

    void failedStatementRollsTheMergeBack_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("nothing fails") << "";
        for (const char* statement :
             {"BEGIN", "select version from tbl_bill where", "select version from tbl_bill_deleted",
              "update tbl_bill set", "insert into tbl_bill (", "delete from tbl_bill_deleted where id=?",
              "delete from tbl_bill where", "update tbl_bill_deleted set version", "select id from tbl_account_deleted",
              "insert into tbl_account select", "update tbl_account set version",
              "delete from tbl_account_deleted where id in", "update tbl_setting", "COMMIT"})
            QTest::newRow(statement) << statement;
    }
    void failedStatementRollsTheMergeBack()
    {
        QFETCH(QString, failing);
        addMaster("tbl_account", "k", older);
        addBill("tbl_bill", "updated", 1, same, "k");
        addBill("tbl_bill", "deleted", 1, same);
        addBill("tbl_bill_deleted", "restored", 1, older);
        SyncSql::setFailureHook(
            [failing](const QString& sql) { return !failing.isEmpty() && sql.startsWith(failing); });
        const QString before = BookDump::of(BookDump::allTables());

        const QVariantMap account{{"table_name", "account"}, {"delete_data", QVariantList{pair("k", newer)}}};
        const bool merged = merge(
            {entry("bill", {billRow("updated", "2", newer), billRow("restored", "3", newer)}, {pair("deleted", newer)}),
             account});

        QCOMPARE(merged, failing.isEmpty());
        QCOMPARE(BookDump::of(BookDump::allTables()) == before, !merged);
    }

    void hostileAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        const QString row = json("`n`,`2030-01-01 00:00:00`,`5`,`2014-05-17`,`201405`,`expense`");
        const QString columns = json("`id`,`version`,`amount`,`date`,`month`,`kind`");
        QTest::newRow("table outside the six") << json("[{`table_name`:`setting`,`update_columns`:[`user_id`,`id`,`"
                                                       "version`],`update_data`:[[`x`,`y`,`z`]]}]")
                                               << true << "select count(*) from tbl_setting where user_id is null"
                                               << "1";
        QTest::newRow("table name with SQL") << json("[{`table_name`:`bill set amount=0 --`,`update_columns`:[") +
                                                    columns + json("],`update_data`:[[") + row + "]]}]"
                                             << true << "select count(*) from tbl_bill"
                                             << "0";
        QTest::newRow("unknown and hostile column names dropped, quotes kept")
            << json("[{`table_name`:`bill`,`update_columns`:[") + columns +
                   json(",`description`,`user_id`,`x\\` = 1 --`],`update_data`:[[") + row +
                   json(",`it's \\`q\\``,`9`,`evil`]]}]")
            << true << "select description || user_id from tbl_bill"
            << "it's \"q\"0";
        QTest::newRow("row shorter than its columns")
            << json("[{`table_name`:`bill`,`update_columns`:[") + columns + json("],`update_data`:[[`n`]]}]") << false
            << ""
            << "";
        QTest::newRow("rows without an id column")
            << json("[{`table_name`:`bill`,`update_columns`:[`version`],`update_data`:[[`2030-01-01 00:00:00`]]}]")
            << false << ""
            << "";
        QTest::newRow("a value that is a list")
            << json("[{`table_name`:`bill`,`update_columns`:[") + columns +
                   json("],`update_data`:[[[`n`],`2030-01-01 00:00:00`,`5`,`2014-05-17`,`201405`,`expense`]]}]")
            << false << ""
            << "";
        QTest::newRow("entry that is not a map") << "[1]" << false << ""
                                                 << "";
        QTest::newRow("deletion without stamp") << json("[{`table_name`:`bill`,`delete_data`:[[`n`]]}]") << false << ""
                                                << "";
    }
    void hostileAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        const QString before = BookDump::of(BookDump::allTables());
        QCOMPARE(merge(JSON::getInstance()->toList(answer)), accepted);
        if (accepted)
            QCOMPARE(BookRows::value(query).toString(), expected);
        else
            QCOMPARE(BookDump::of(BookDump::allTables()), before);
    }
};

QTEST_MAIN(TestSyncMerge)
#include "tst_syncmerge.moc"
