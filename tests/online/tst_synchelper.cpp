#include "bookdump.h"
#include "bookrows.h"
#include "data/bookconnection.h"
#include "data/bookindexes.h"
#include "data/bookreset.h"
#include "data/bookshelf.h"
#include "data/constants.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "loopbackhttpserver.h"
#include "messagerecorder.h"
#include "online/json.h"
#include "online/jsoncodec.h"
#include "online/syncanswer.h"
#include "online/syncbinding.h"
#include "online/syncchangeset.h"
#include "online/synchelper.h"
#include "online/syncmerge.h"
#include "online/syncsql.h"
#include "recordtest.h"
#include "syncrun.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QUrlQuery>
#include <QtTest>

namespace {
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QString older = "2020-01-01 00:00:00", same = "2020-06-01 00:00:00", newer = "2021-01-01 00:00:00";
const QString defaultStamp = "2007-07-07 07:07:07";
const char* const stamp = "yyyy-MM-dd hh:mm:ss";
const QDateTime start(QDate(2022, 3, 4), QTime(5, 6, 7), Qt::UTC);
const QString severe = "0|同步失败，同步时出现严重错误";

void addBill(const QString& table, const QString& id, double amount, const QString& version,
             const QString& accountId = QString())
{
    BookRows::exec("insert into " + table +
                       " (id, amount, description, date, month, kind, account_id, version) "
                       "values (?, ?, '', '2014-05-17', 201405, 'expense', ?, ?)",
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
    BookRows::exec("insert into " + table + " (" + columns.join(',') + ") values (?" +
                       QString(",?").repeated(columns.size() - 1) + ")",
                   values);
}

// Rows and pairs as single values, so that a list of one is not taken for the list itself.
QVariant pair(const QString& id, const QString& stamp)
{
    return QVariantList{id, stamp};
}

QVariant billRow(const QString& id, const QString& amount, const QString& version)
{
    return QVariantList{id, amount, "it's", "2014-05-17", "201405", "expense", version};
}

QVariantMap bills(const QVariantList& rows, const QVariantList& deletions = {})
{
    return {{"table_name", "bill"},
            {"update_columns", QStringList{"id", "amount", "description", "date", "month", "kind", "version"}},
            {"update_data", rows},
            {"delete_data", deletions}};
}

bool merge(const QVariantList& answer)
{
    QList<SyncAnswer::Entry> entries;
    return SyncAnswer::read(answer, tables, entries) && SyncMerge::apply(entries, start, 0);
}

void failAt(const QString& failing)
{
    SyncSql::setFailureHook([failing](const QString& sql) { return !failing.isEmpty() && sql.startsWith(failing); });
}

QByteArray ok(QString body)
{
    return LoopbackHttpServer::reply("200 OK", body.replace('`', '"').toUtf8()); // backquotes keep rows readable
}

// The answer of a service that has nothing for the device.
QByteArray nothingNew()
{
    QStringList entries;
    for (const QString& table : tables)
        entries << "{`table_name`:`" + table + "`}";
    return ok("[" + entries.join(',') + "]");
}

// The rows and deletions, of all tables, that a sync request carries up.
int rowsSent(const QByteArray& request)
{
    const QUrlQuery form(QString::fromUtf8(request.mid(request.indexOf("\r\n\r\n") + 4)));
    int rows = 0;
    for (const QVariant& entry : JSON::getInstance()->toList(form.queryItemValue("data", QUrl::FullyDecoded)))
        rows += entry.toMap().value("update_data").toList().size() + entry.toMap().value("delete_data").toList().size();
    return rows;
}

// A bound account that a sync may use at once, with no backup before or after it.
void storeAccount(const QString& userId)
{
    FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", false);
    FileSetting::getInstance()->setValue("Backup/BackupAfterSync", false);
    DbSetting::getInstance()->setUserId(userId);
    DbSetting::getInstance()->setSyncUsername("u");
    DbSetting::getInstance()->setSyncPassword("pw+secret");
    QVERIFY(DbSetting::getInstance()->save());
}
} // namespace

class TestSyncHelper : public RecordTest
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        SyncSql::setFailureHook({});
        QTRY_VERIFY(!SyncHelper::getInstance()->isRunning());
        RecordTest::cleanup();
    }

    void conflictRules_data()
    {
        QTest::addColumn<QString>("local"); // "row", "twin" or "none", stamped `same`
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("expected"); // the row's amount and version, or "-"
        QTest::addColumn<QString>("twin");     // the twin's stamp
        QTest::newRow("newer row replaces") << "row" << false << newer << "2|" + newer << "";
        // The store kept the row that reached it first; every device takes that one.
        QTest::newRow("equal row with other values replaces") << "row" << false << same << "2|" + same << "";
        QTest::newRow("older row keeps local") << "row" << false << older << "1|" + same << "";
        QTest::newRow("new row") << "none" << false << same << "2|" + same << "";
        QTest::newRow("row beats older deletion") << "twin" << false << newer << "2|" + newer << "";
        QTest::newRow("row beats equal deletion") << "twin" << false << same << "2|" + same << "";
        QTest::newRow("newer deletion keeps row out") << "twin" << false << older << "-" << same;
        QTest::newRow("newer deletion removes row, keeps its stamp") << "row" << true << newer << "-" << newer;
        QTest::newRow("equal deletion keeps row") << "row" << true << same << "1|" + same << "";
        QTest::newRow("older deletion keeps row") << "row" << true << older << "1|" + same << "";
        QTest::newRow("deletion of an unknown row") << "none" << true << newer << "-" << QString();
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

        QVERIFY(merge({deletion ? bills({}, {pair("z", received)}) : bills({billRow("z", "2", received)})}));

        const QVariant row = BookRows::value("select amount || '|' || version from tbl_bill where id='z'");
        QCOMPARE(row.isValid() ? row.toString().replace(".0|", "|") : QString("-"), expected);
        if (expected.startsWith("2|"))
            QCOMPARE(BookRows::value("select description from tbl_bill").toString(), "it's");
        QCOMPARE(BookRows::value("select version from tbl_bill_deleted").toString(), twin);
        QCOMPARE(BookRows::value("select sync_time from tbl_setting").toString(), "2022-03-04 05:06:07");
        // What the merge wrote is no change of this device's, to be sent back.
        QCOMPARE(BookRows::value("select count(*) from tbl_sync_pending").toInt(), 0);
    }

    void repairBringsBackNamedRecords_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        // clang-format off
        QTest::newRow("account") << "account" << "account_id";
        QTest::newRow("account a transfer enters") << "account" << "to_account_id";
        QTest::newRow("borrower") << "borrower" << "borrower_id";
        QTest::newRow("category") << "category" << "category_id";
        QTest::newRow("sub-category") << "sub_category" << "sub_category_id";
        QTest::newRow("member") << "member" << "member_id";
        // clang-format on
    }
    void repairBringsBackNamedRecords()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        const QString data = "tbl_" + table;
        for (const char* id : {"k1", "k2", "gone"})
            addMaster(data, id, older);
        BookRows::addBill("expense", 1, {{column, "k1"}});
        BookRows::addBill("expense", 1, {{column, "k2"}});
        // k2's deletion came from a clock an hour fast.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDateTime ahead = now.addSecs(3600);

        QVERIFY(merge({QVariantMap{{"table_name", table},
                                   {"delete_data", QVariantList{pair("k1", newer), pair("k2", ahead.toString(stamp)),
                                                                pair("gone", newer)}}}}));

        QCOMPARE(BookRows::value("select group_concat(id) from (select id from " + data + " order by id)"), "k1,k2");
        QCOMPARE(BookRows::value("select group_concat(id) from " + data + "_deleted"), "gone");
        // Stamped after the sync began and after the deletion, so that the next sync sends them back to the service,
        // which keeps the later stamp.
        QVERIFY(BookRows::value("select version from " + data + " where id='k1'").toString() >= now.toString(stamp));
        QCOMPARE(BookRows::value("select version from " + data + " where id='k2'").toString(),
                 ahead.addSecs(1).toString(stamp));
    }

    // A bill whose reference the binding prefixes goes up with the sync that binds, stamped just before its start,
    // and not again with the next one, which sends what is stamped from that start on.
    void bindingStampsChangedBillsBeforeTheSync_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("expected"); // the bill's account, member and stamp after the binding
        // clang-format off
        QTest::newRow("bill naming default records") << "tbl_bill" << "01" << "02" << "12301 12302 2022-03-04 05:06:06";
        QTest::newRow("bill naming one") << "tbl_bill" << "a-uuid" << "02" << "a-uuid 12302 2022-03-04 05:06:06";
        QTest::newRow("bill naming none") << "tbl_bill" << "a-uuid" << "" << "a-uuid  " + same;
        QTest::newRow("deleted bill") << "tbl_bill_deleted" << "01" << "02" << "12301 12302 " + same;
        // clang-format on
    }
    void bindingStampsChangedBillsBeforeTheSync()
    {
        QFETCH(QString, table);
        QFETCH(QString, account);
        QFETCH(QString, member);
        QFETCH(QString, expected);
        addBill(table, "b", 1, same, account);
        // Through an empty stamp, which the update trigger leaves alone.
        BookRows::exec("update " + table + " set member_id=?, version=''", {member});
        BookRows::exec("update " + table + " set version=?", {same});
        QVERIFY(SyncBinding::bind("12345", start));
        QCOMPARE(BookRows::value("select account_id || ' ' || member_id || ' ' || version from " + table).toString(),
                 expected);
        // The indexes the binding makes anew around its update are all there again.
        QCOMPARE(BookRows::value("select group_concat(sql, ';') from sqlite_master where type='index' and "
                                 "tbl_name='tbl_bill' and sql is not null")
                     .toString()
                     .count("ON tbl_bill"),
                 BookIndexes::statements().size());
    }

    // Records nobody changed keep the stamps that the new book or the service gave them, through a first start, a
    // book made on the book page, a reset, the merge of an answer and a restart, while the lists show them.
    void recordsKeepTheirStamps()
    {
        const auto stampsShown = [] {
            BookRows::dropCaches();
            MAccount::get();
            MBorrower::getBorrowerList();
            MCategory::getCategoryList("");
            MMember::getMemberList();
            QStringList stamps;
            for (const QString& table : tables.mid(1))
                stamps << BookRows::value("select group_concat(distinct version) from tbl_" + table).toString();
            return stamps.join(' ');
        };
        const QString book = QSqlDatabase::database().databaseName();
        const QString defaults = QStringList(5, defaultStamp).join(' ');
        QVERIFY(DBHelper::getInstance()->upgrade());
        DBHelper::getInstance()->initDefaultData();
        QCOMPARE(stampsShown(), defaults);
        QCOMPARE(BookShelf::create("另一本"), BookShelf::Result::Done);
        QVERIFY(BookConnection::openDefault(Constants::getInstance()->getDbDir() + "另一本.db"));
        QCOMPARE(stampsShown(), defaults);
        QVERIFY(BookConnection::openDefault(book) && BookReset::run());
        QCOMPARE(stampsShown(), defaults);

        // Two categories made on two devices at once share a position; a sub-category leaves a gap.
        const QStringList columns{"id", "name", "kind", "sort", "version", "category_id"};
        const auto row = [](const QString& id, const QString& sort) {
            return QStringList{id, "新类", "expense", sort, newer, "x1"};
        };
        QVERIFY(merge({QVariantMap{{"table_name", "category"},
                                   {"update_columns", columns.mid(0, 5)},
                                   {"update_data", QVariantList{row("x1", "11").mid(0, 5), row("x2", "11").mid(0, 5)}}},
                       QVariantMap{{"table_name", "sub_category"},
                                   {"update_columns", columns},
                                   {"update_data", QVariantList{row("s1", "5")}}}}));
        const QString merged = QStringList{defaultStamp, defaultStamp, defaultStamp + "," + newer,
                                           defaultStamp + "," + newer, defaultStamp}
                                   .join(' ');
        QCOMPARE(stampsShown(), merged);
        QVERIFY(BookConnection::openDefault(book) && DBHelper::getInstance()->upgrade());
        QCOMPARE(stampsShown(), merged);
    }

    void failedStepLeavesTheBookAsItWas_data()
    {
        QTest::addColumn<bool>("binding");
        QTest::addColumn<QString>("failing"); // the statement made to fail
        for (const char* sql : {"", "BEGIN", "update tbl_bill set", "update tbl_member_deleted", "settings", "COMMIT"})
            QTest::addRow("binding: %s", sql) << true << sql;
        for (const char* sql :
             {"", "BEGIN", "create temp table sync_rows", "insert into temp.sync_rows", "update tbl_bill set",
              "delete from tbl_bill_deleted where id in (select s.", "insert into tbl_bill (",
              "drop table temp.sync_rows", "insert into temp.sync_deletions", "update temp.sync_deletions",
              "delete from tbl_bill_deleted where id in (select id from temp", "delete from tbl_bill where",
              "update tbl_bill_deleted set version", "delete from tbl_account_deleted",
              "insert into tbl_account select", "update tbl_account set version", "update tbl_setting", "COMMIT"})
            QTest::addRow("merge: %s", sql) << false << sql;
    }
    void failedStepLeavesTheBookAsItWas()
    {
        QFETCH(bool, binding);
        QFETCH(QString, failing);
        addMaster("tbl_account", "01", older);
        addBill("tbl_bill", "updated", 1, same, "01");
        addBill("tbl_bill", "deleted", 1, same);
        addBill("tbl_bill_deleted", "restored", 1, older);
        if (failing == "settings")
            BookRows::exec("create trigger refuse before update on tbl_setting begin select raise(abort, 'no'); end");
        failAt(failing == "settings" ? "" : failing);
        const QString before = BookDump::of(BookDump::tables(true));

        const QVariantMap account{{"table_name", "account"}, {"delete_data", QVariantList{pair("01", newer)}}};
        const bool done = binding ? SyncBinding::bind("12345", QDateTime::currentDateTimeUtc())
                                  : merge({bills({billRow("updated", "2", newer), billRow("restored", "3", newer)},
                                                 {pair("deleted", newer)}),
                                           account});

        QCOMPARE(done, failing.isEmpty());
        QCOMPARE(BookDump::of(BookDump::tables(true)) == before, !done);
        QCOMPARE(DbSetting::getInstance()->getUserId(), binding && done ? "12345" : "");
    }

    // An answer may list an id more than once: the latest stamp wins, and the first row listed among equal ones,
    // as if the rows were applied one after another.
    void repeatedIdTakesTheLatestFirstRow_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("amount"); // the first row's 2 or the second's 3
        QTest::newRow("equal stamps") << same << same << 2;
        QTest::newRow("later second") << same << newer << 3;
        QTest::newRow("later first") << newer << same << 2;
    }
    void repeatedIdTakesTheLatestFirstRow()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, amount);
        QVERIFY(merge({bills({billRow("z", "2", first), billRow("z", "3", second)})}));
        QCOMPARE(BookRows::value("select amount from tbl_bill where id='z'").toInt(), amount);
    }

    void hostileAnswerIsTakenOnlyWhereItFits_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("table outside the six") << "setting" << "user_id" << "select user_id is null from tbl_setting" << "1";
        QTest::newRow("table name with SQL") << "bill; --" << "title" << "select count(*) from tbl_bill" << "0";
        QTest::newRow("column the table lacks") << "bill" << "x\" = 1 --" << "select title from tbl_bill" << "";
        QTest::newRow("local-only column") << "bill" << "user_id" << "select user_id from tbl_bill" << "0";
        QTest::newRow("quotes in a value") << "bill" << "title" << "select title from tbl_bill" << "it's \"q\"";
        // clang-format on
    }
    void hostileAnswerIsTakenOnlyWhereItFits()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        QVariantMap entry = bills({QVariant(billRow("n", "5", newer).toList() << "it's \"q\"")});
        entry["table_name"] = table;
        entry["update_columns"] = entry["update_columns"].toStringList() << column;
        QVERIFY(merge({entry}));
        QCOMPARE(BookRows::value(query).toString(), expected);
    }

    // Besides what the journal names, a synced book sends what is stamped from the start of its last sync on: a row
    // or deletion stamped in that very second may have been written after the sync began.
    void changeSetTakesStampsFromTheLastSync()
    {
        addBill("tbl_bill", "before", 1, start.addSecs(-1).toString(stamp));
        addBill("tbl_bill", "at", 1, start.toString(stamp));
        addBill("tbl_bill_deleted", "gone", 1, start.toString(stamp));
        QCOMPARE(BookRows::value("select count(*) from tbl_sync_pending").toInt(), 0);
        QVariantList entries;
        qint64 pending = 0;
        QVERIFY(SyncChangeSet::build(tables, start.toString(stamp), entries, pending));
        const QVariantMap bill = entries.first().toMap();
        QStringList sent;
        for (const char* list : {"update_data", "delete_data"})
            for (const QVariant& row : bill.value(list).toList())
                sent << row.toList().first().toString();
        QCOMPARE(sent, QStringList({"at", "gone"}));
    }

    // Mutated answers through the reader and the merge never crash, and one that is refused, or whose merge
    // fails, leaves the book as it was.
    void mutatedAnswersNeverHarmTheBook()
    {
        addMaster("tbl_account", "01", older);
        for (int i = 0; i < 30; ++i)
            addBill(i % 3 ? "tbl_bill" : "tbl_bill_deleted", QString::number(i), i, i % 2 ? older : newer, "01");
        QVariantList own;
        qint64 pending = 0;
        QVERIFY(SyncChangeSet::build(tables, "", own, pending));
        const QString seed = JSON::getInstance()->serialize(own).replace("2020-", "2030-");
        const QString alphabet = "{}[],:\"\\ 0123456789.-eE truefalsnl'中";
        const MessageRecorder quiet;
        QRandomGenerator random(20260712);
        QString book = BookDump::of(BookDump::tables(true));
        int applied = 0, refused = 0;
        for (int i = 0; i < 3000 && !QTest::currentTestFailed(); ++i) {
            QString text = seed;
            for (int m = 1 + random.bounded(4); m > 0 && !text.isEmpty(); --m) {
                const int at = random.bounded(int(text.size()));
                const int kind = random.bounded(8);
                if (kind == 0)
                    text.truncate(at);
                else if (kind < 3)
                    text.insert(at, text.mid(random.bounded(int(text.size())), random.bounded(40)));
                else if (kind < 5)
                    text.insert(at, alphabet.at(random.bounded(int(alphabet.size()))));
                else
                    text.remove(at, 1 + random.bounded(8));
            }
            JSON::getInstance()->toMap(text);
            const QVariantList answer = JSON::getInstance()->toList(text);
            if (answer.isEmpty())
                continue;
            if (merge(answer)) {
                ++applied;
                book = BookDump::of(BookDump::tables(true));
            } else {
                ++refused;
                QCOMPARE(BookDump::of(BookDump::tables(true)), book);
            }
        }
        QVERIFY2(applied > 100 && refused > 100, qPrintable(QString("%1 %2").arg(applied).arg(refused)));
    }

    void syncEndsOnce_data()
    {
        QTest::addColumn<QString>("userId"); // stored before the sync
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("end");
        const QByteArray six = nothingNew();
        QTest::newRow("empty list") << "12345" << ok("[]") << "" << 1 << severe;
        QTest::newRow("error object") << "12345" << ok("{`error`:`7`,`message`:`坏`}") << "" << 1 << "7|坏";
        QTest::newRow("message without code") << "12345" << ok("{`message`:`m`}") << "" << 1 << "0|m";
        QTest::newRow("not JSON") << "12345" << ok("<html>oops</html>") << "" << 1 << severe;
        QTest::newRow("empty answer") << "12345" << ok("") << "" << 1 << severe;
        QTest::newRow("malformed entry") << "12345" << ok("[{`table_name`:`bill`,`update_data`:[[`x`]]}]") << "" << 1
                                         << severe;
        QTest::newRow("HTTP error") << "12345" << LoopbackHttpServer::reply("500 Oops", "{}") << "" << 1
                                    << "505|和服务器通讯时出错";
        QTest::newRow("six empty entries") << "12345" << six << "" << 1 << "finished";
        QTest::newRow("merge fails") << "12345" << six << "COMMIT" << 1 << "0|同步失败，账本无法写入";
        // A change set that could not be read completely is not sent at all.
        QTest::newRow("change set not read")
            << "12345" << six << "select id,version from tbl_member_deleted" << 0 << "0|同步失败，账本无法读取";
        // The same reply answers the upload too, where an object is no change set.
        QTest::newRow("good id binds and uploads") << "" << ok("{`id`:`12345`}") << "" << 2 << severe;
        QTest::newRow("empty id") << "" << ok("{`id`:``}") << "" << 1 << severe;
        QTest::newRow("refused account") << "" << ok("{`error`:1,`message`:`错误！`}") << "" << 1 << "1|错误！";
        QTest::newRow("binding fails") << "" << ok("{`id`:`12345`}") << "COMMIT" << 1 << "0|同步失败，账本无法写入";
    }
    void syncEndsOnce()
    {
        QFETCH(QString, userId);
        QFETCH(QByteArray, reply);
        QFETCH(QString, failing);
        QFETCH(int, requests);
        QFETCH(QString, end);
        storeAccount(userId);
        BookRows::addBill("expense", -3);
        const QByteArray before = TestBook::bytesOf(QSqlDatabase::database().databaseName());
        LoopbackHttpServer server(reply);
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        failAt(failing);
        QSignalSpy reloads(Notifier::getInstance(), &Notifier::billDataChanged);
        const MessageRecorder messages;
        const QString result = SyncRun::toEnd(10000);
        qunsetenv("QUILLBAY_SERVICE_URL");

        QCOMPARE(result, end);
        QCOMPARE(server.requests().size(), requests);
        QVERIFY(!messages.lines().join('\n').contains("pw+secret"));
        QCOMPARE(reloads.size(), end == "finished" ? 1 : 0);
        QCOMPARE(DbSetting::getInstance()->getUserId(), requests == 2 ? "12345" : userId);
        if (end != "finished" && requests < 2)
            QVERIFY(TestBook::bytesOf(QSqlDatabase::database().databaseName()) == before);
    }

    // An address that is no http address ends the sync at once, with the reason.
    void refusedAddressEndsTheSync()
    {
        storeAccount("12345");
        qputenv("QUILLBAY_SERVICE_URL", "127.0.0.1:8647");
        const QString result = SyncRun::toEnd(10000);
        const QString problem = Constants::getInstance()->getServiceUrlProblem();
        qunsetenv("QUILLBAY_SERVICE_URL");
        QCOMPARE(result, "505|" + problem);
    }

    // Once the service has answered, the journal forgets what the sync carried up: a later sync with nothing
    // changed sends nothing, however often it runs. The edit lies in a second before the sync, so that its stamp
    // alone does not send it again.
    void syncedChangeIsSentOnce()
    {
        storeAccount("12345");
        BookRows::exec("update tbl_setting set sync_time=?", {older});
        const QString id = BookRows::addBill("expense", -3);
        BookRows::exec("update tbl_bill set amount=-4 where id=?", {id});
        QVERIFY(SyncRun::nextSecond());
        LoopbackHttpServer server(nothingNew());
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        for (const int expected : {1, 0, 0}) {
            QCOMPARE(SyncRun::toEnd(10000), QString("finished"));
            QCOMPARE(rowsSent(server.requests().last()), expected);
            QCOMPARE(BookRows::value("select count(*) from tbl_sync_pending").toInt(), 0);
        }
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    // A sync backs the book up before it when its setting says so, and after it when its own does: a backup made
    // after holds the bill the service answered with, one made before does not.
    void backsUpAsEachSettingSays_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("after");
        QTest::newRow("after the sync alone") << false << true;
        QTest::newRow("before the sync alone") << true << false;
    }

    void backsUpAsEachSettingSays()
    {
        QFETCH(bool, before);
        QFETCH(bool, after);
        storeAccount("12345");
        FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", before);
        FileSetting::getInstance()->setValue("Backup/BackupAfterSync", after);
        QVariantList answer{bills({billRow("answered", "-5", newer)})};
        for (const QString& table : tables.mid(1))
            answer << QVariantMap{{"table_name", table}};
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", JsonCodec::serialize(answer)));
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        const QString result = SyncRun::toEnd(10000);
        qunsetenv("QUILLBAY_SERVICE_URL");
        QCOMPARE(result, QString("finished"));
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where id = 'answered'").toInt(), 1);

        const QDir folder(FileSetting::getInstance()->getBackupDir());
        const QStringList backups = folder.entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        int answeredInBackup = -1;
        {
            QSqlDatabase backup = QSqlDatabase::addDatabase("QSQLITE", "backup");
            backup.setDatabaseName(folder.filePath(backups.first()));
            QSqlQuery query(backup);
            if (backup.open() && query.exec("select count(*) from tbl_bill where id = 'answered'") && query.next())
                answeredInBackup = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase("backup");
        QCOMPARE(answeredInBackup, after ? 1 : 0);
    }

    void secondSyncIsRefused()
    {
        DbSetting::getInstance()->setUserId("12345");
        auto server = std::make_unique<LoopbackHttpServer>(); // keeps silent
        qputenv("QUILLBAY_SERVICE_URL", server->baseUrl().toUtf8());
        SyncHelper* engine = SyncHelper::getInstance();
        QSignalSpy started(engine, &SyncHelper::syncStarted);
        QSignalSpy errors(engine, &SyncHelper::syncError);
        QVERIFY(engine->sync());
        QTRY_COMPARE(server->requests().size(), 1);
        QVERIFY(!engine->sync());
        QCOMPARE(started.size(), 1);
        server.reset(); // the connection drops: the running sync ends in the transfer error
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), 505);
        qunsetenv("QUILLBAY_SERVICE_URL");
    }
};

QTEST_MAIN(TestSyncHelper)
#include "tst_synchelper.moc"
