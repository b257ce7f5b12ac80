#include "bookdump.h"
#include "bookrows.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/recordsql.h"
#include "loopbackhttpserver.h"
#include "online/synchelper.h"
#include "serviceprocess.h"
#include "syncrun.h"
#include "testbook.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>
#include <memory>

// Two or three books on one account and one running service, each book a device of its own: its own file,
// settings row and sync time. Only one is open at a time, as in one running copy of the program per device.
namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
}

class TestSyncDevices : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<TestBook> m_home;
    QString m_password = "pw";

    void use(QChar device)
    {
        m_home->open(QString("device%1.db").arg(device));
        BookRows::dropCaches();
    }

    QString sync(QChar device)
    {
        use(device);
        return SyncRun::toEnd();
    }

    // Every device syncs, then all but the last again, so that each has seen every other's change.
    void syncAll(const QString& devices)
    {
        for (const QChar device : devices + devices.chopped(1))
            QCOMPARE(sync(device), QString("finished"));
    }

    // "A+Z2:1" adds a bill on A, "B=Z1:33.44" sets its amount on B, "A-Z1" deletes it on A, "C!" syncs C and
    // "~" waits for the next second.
    void run(const QString& script)
    {
        for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
            if (step == "~") {
                QVERIFY(SyncRun::nextSecond());
                continue;
            }
            use(step.at(0));
            const QString title = step.mid(2).section(':', 0, 0);
            const double amount = step.section(':', 1).toDouble();
            switch (step.at(1).toLatin1()) {
            case '+':
                BookRows::addBill(
                    "expense", amount,
                    {{"title", title}, {"account_id", BookRows::value("select min(id) from tbl_account").toString()}});
                break;
            case '=':
                BookRows::exec("update tbl_bill set amount=? where title=?", {amount, title});
                break;
            case '-':
                QVERIFY(RecordSql::removeRow(
                    "tbl_bill", BookRows::value("select id from tbl_bill where title=?", {title}).toString()));
                break;
            case '!':
                QCOMPARE(sync(step.at(0)), QString("finished"));
                break;
            }
        }
    }

    QString bills(QChar device)
    {
        use(device);
        return BookRows::value("select group_concat(title || ':' || amount, ' ') from (select * from tbl_bill order "
                               "by title)")
            .toString();
    }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY(!m_service->baseUrl().isEmpty());
        QVERIFY(m_service->addAccount("family", m_password));
        qputenv("QUILLBAY_SERVICE_URL", m_service->baseUrl().toUtf8());
        m_home = std::make_unique<TestBook>();
        FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", false);
        FileSetting::getInstance()->setValue("Backup/BackupAfterSync", false);
        for (const QChar device : QString("ABC")) {
            use(device);
            DBHelper::getInstance()->initDefaultData();
            DbSetting::getInstance()->setSyncUsername("family");
            DbSetting::getInstance()->setSyncPassword(m_password);
            QVERIFY(DbSetting::getInstance()->save());
            QCOMPARE(sync(device), QString("finished"));
        }
    }
    void cleanup()
    {
        m_home.reset();
        m_service.reset();
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    void firstSyncUnifiesDefaultRecords()
    {
        use('A');
        const QString prefix = DbSetting::getInstance()->getUserId().chopped(2);
        QVERIFY(!prefix.isEmpty());
        QCOMPARE(BookRows::value("select count(*) from tbl_category where id not like ? || '__'", {prefix}).toInt(), 0);
        const QString a = BookDump::of(BookDump::tables(false));
        use('B');
        QCOMPARE(BookDump::of(BookDump::tables(false)), a);
    }

    void rulesDialogCases_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const char* cases[][4] = {
            {"1 new bill", "AB", "A+Z3:3", "Z1:1.0 Z2:2.0 Z3:3.0"},
            {"2 new bills on both", "AB", "A+Z3:3 B+Z4:4", "Z1:1.0 Z2:2.0 Z3:3.0 Z4:4.0"},
            {"3 edit here, new bill there", "AB", "A=Z1:5 B+Z4:4", "Z1:5.0 Z2:2.0 Z4:4.0"},
            {"4 the later edit wins", "AB", "A=Z1:11.99 ~ B=Z1:33.44", "Z1:33.44 Z2:2.0"},
            {"5 edits of two bills", "AB", "A=Z1:11.99 ~ B=Z2:33.44", "Z1:11.99 Z2:33.44"},
            {"6 a later deletion wins", "AB", "A=Z1:11.99 ~ B-Z1", "Z2:2.0"},
            {"7 a later edit restores", "AB", "A-Z1 ~ B=Z1:12.36", "Z1:12.36 Z2:2.0"},
            {"4 with a third device", "ABC", "A=Z1:11.99 ~ C=Z1:33.44", "Z1:33.44 Z2:2.0"},
            {"6 with a third device", "ABC", "A=Z1:11.99 ~ C-Z1", "Z2:2.0"},
            {"7 with a third device", "ABC", "C-Z1 ~ B=Z1:12.36", "Z1:12.36 Z2:2.0"},
            // A deletion that A receives must not go up again as newer than the edit C made after it.
            {"a relayed deletion keeps its stamp", "ABC", "B-Z1 B! ~ C=Z1:7 ~ A! C! A!", "Z1:7.0 Z2:2.0"},
        };
        for (const auto& row : cases)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
    }
    void rulesDialogCases()
    {
        QFETCH(QString, devices);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        use('A');
        // Made in the past, before A's last sync, so that every edit of the case is later without waiting.
        for (const char* title : {"Z1", "Z2"})
            BookRows::addBill("expense", title[1] - '0', {{"title", title}, {"version", "2020-01-01 00:00:00"}});
        BookRows::exec("update tbl_setting set sync_time='2019-01-01 00:00:00'");
        syncAll(devices);

        run(script);
        syncAll(devices);

        const QString first = BookDump::of(BookDump::tables(false));
        for (const QChar device : devices) {
            QCOMPARE(bills(device), expected);
            QCOMPARE(BookDump::of(BookDump::tables(false)), first);
        }
    }

    // Texts come back as they were sent, with every control character and a line separator among them.
    void controlCharactersTravelUnchanged()
    {
        QString title = QString(QChar(0)) + "中";
        for (char16_t c = 1; c < 0x20; ++c)
            title += QChar(c);
        title += QStringView(u"\u007f\u0085\u009f\u2028\u2029末");
        run("A+Z1:1");
        BookRows::exec("update tbl_bill set title=? where title='Z1'", {title});
        syncAll("AB");
        use('B');
        QCOMPARE(BookRows::value("select title from tbl_bill").toString(), title);
    }

    // C last synced a week ago and made an edit while offline: older than every sync A and B made since, it still
    // reaches them, and C gets everything they changed meanwhile.
    void offlineDeviceGivesAndReceives()
    {
        const QDateTime weekAgo = QDateTime::currentDateTimeUtc().addDays(-7);
        use('C');
        BookRows::exec("update tbl_setting set sync_time=?", {weekAgo.toString(stampFormat)});
        BookRows::addBill("expense", 7, {{"title", "C1"}, {"version", weekAgo.addSecs(3600).toString(stampFormat)}});
        run("A+A1:1 A! B+B1:2 B! ~ A=A1:3 A! B! A!");
        syncAll("CAB");
        for (const QChar device : QString("ABC"))
            QCOMPARE(bills(device), QString("A1:3.0 B1:2.0 C1:7.0"));
    }

    // A's book is put back from a copy made after one of its syncs: it gets everything changed since, its own later
    // edits included.
    void restoredDeviceReceivesWhatChangedSince()
    {
        run("A+Z1:1 A!");
        const QString book = m_home->open("deviceA.db");
        use('B');
        const QString copy = book + ".copy";
        QVERIFY(QFile::copy(book, copy));
        run("B+Z2:2 B! A+Z3:3 A! ~ A=Z1:5 A! B=Z2:6 B!");
        use('B');
        QVERIFY(QFile::remove(book) && QFile::rename(copy, book));
        syncAll("AB");
        QCOMPARE(bills('A'), QString("Z1:5.0 Z2:6.0 Z3:3.0"));
        QCOMPARE(bills('B'), bills('A'));
    }

    // A's last sync began while its clock ran ahead, and the clock has been set right since: what A changed after
    // that is stamped earlier than that sync began. It reaches B whether A's next sync comes while the clock still
    // reads before that time or once it has passed it again.
    void changesAfterTheClockWasSetBackAreSent_data()
    {
        QTest::addColumn<int>("aheadSeconds");
        QTest::newRow("next sync before the clock catches up") << 2 * 3600;
        QTest::newRow("next sync after it has") << 2;
    }
    void changesAfterTheClockWasSetBackAreSent()
    {
        QFETCH(int, aheadSeconds);
        run("A+Z1:1 A+Z3:3");
        syncAll("AB");
        use('A');
        const QDateTime lastSync = QDateTime::currentDateTimeUtc().addSecs(aheadSeconds);
        BookRows::exec("update tbl_setting set sync_time=?", {lastSync.toString(stampFormat)});
        run("~ A=Z1:5 A+Z2:2 A-Z3");
        QVERIFY(QTest::qWaitFor([&] { return aheadSeconds > 60 || QDateTime::currentDateTimeUtc() > lastSync; }));
        syncAll("AB");
        QCOMPARE(bills('B'), QString("Z1:5.0 Z2:2.0"));
        QCOMPARE(bills('A'), bills('B'));
    }

    // A bill changed while A's sync is under way, after its upload left, goes up with the next sync, and the sync
    // time is the start of the sync that did not carry it.
    void changeDuringASyncIsSentNext()
    {
        run("A+Z1:1");
        syncAll("AB");
        use('A');
        LoopbackHttpServer relay; // silent: holds the sync's answer back
        qputenv("QUILLBAY_SERVICE_URL", relay.baseUrl().toUtf8());
        SyncHelper* engine = SyncHelper::getInstance();
        QSignalSpy finished(engine, &SyncHelper::syncFinished);
        QVERIFY(engine->sync());
        QTRY_COMPARE(relay.requests().size(), 1);
        const QByteArray request = relay.requests().at(0);
        QNetworkAccessManager network;
        QNetworkRequest post(QUrl(m_service->baseUrl() + "sync/syncpc2.php"));
        post.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        QNetworkReply* reply = network.post(post, request.mid(request.indexOf("\r\n\r\n") + 4));
        QTRY_VERIFY(reply->isFinished());
        QVERIFY(SyncRun::nextSecond());
        run("A=Z1:5");
        const QString edited = BookRows::value("select version from tbl_bill").toString();
        relay.answerPending(LoopbackHttpServer::reply("200 OK", reply->readAll()));
        QTRY_COMPARE(finished.size(), 1);
        qputenv("QUILLBAY_SERVICE_URL", m_service->baseUrl().toUtf8());
        QVERIFY(BookRows::value("select sync_time from tbl_setting").toString() < edited);

        syncAll("AB");
        QCOMPARE(bills('B'), QString("Z1:5.0"));
    }

    // A and B change one bill in the same second, so that both rows carry one stamp: the store keeps the row that
    // reaches it first, and every device ends with that one.
    void sameSecondChangesSettleOnOneRow_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("expected");
        QTest::newRow("A first") << "ABC"
                                 << "Z1:5.0";
        QTest::newRow("B first") << "BAC"
                                 << "Z1:7.0";
    }
    void sameSecondChangesSettleOnOneRow()
    {
        QFETCH(QString, order);
        QFETCH(QString, expected);
        run("A+Z1:1");
        syncAll("ABC");
        const QString stamp = QDateTime::currentDateTimeUtc().addSecs(1).toString(stampFormat);
        for (const auto& [device, amount] : {std::pair{'A', 5}, std::pair{'B', 7}}) {
            use(device);
            BookRows::exec("update tbl_bill set amount=?, version=?", {amount, stamp});
        }
        syncAll(order);
        for (const QChar device : QString("ABC"))
            QCOMPARE(bills(device), expected);
    }

    // B's clock ran an hour fast when it deleted a category for which A had just entered a bill. A brings the
    // category back for its bill, stamped later than the deletion, and the service takes it back: after one more
    // round every device holds it, C too, which learns it from the service alone, and quiet syncs change nothing.
    void recordBroughtBackOutlivesADeletionFromAFastClock()
    {
        const QString category = "3f0c5a2e-0b7d-4e55-9a41-5c8f1d2b7e60";
        use('A');
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values (?, '旅行', 'expense', 99)", {category});
        syncAll("AB");
        use('A');
        BookRows::addBill("expense", 1, {{"title", "Z1"}, {"category_id", category}});
        use('B');
        BookRows::exec("delete from tbl_category where id=?", {category});
        BookRows::exec("update tbl_category_deleted set version=? where id=?",
                       {QDateTime::currentDateTimeUtc().addSecs(3600).toString(stampFormat), category});

        // B sends the deletion; A receives it and brings the category back for its bill; then one round.
        run("B! A! A! B! C!");

        for (const QChar device : QString("ABC")) {
            use(device);
            QCOMPARE(device + BookRows::value("select name from tbl_category where id=?", {category}).toString(),
                     device + QString("旅行"));
        }
        const QString first = BookDump::of(BookDump::tables(true).mid(0, 12));
        for (const QChar device : QString("ABC")) {
            use(device);
            QCOMPARE(BookDump::of(BookDump::tables(true).mid(0, 12)), first);
            QCOMPARE(sync(device), QString("finished"));
            QCOMPARE(BookDump::of(BookDump::tables(true).mid(0, 12)), first);
        }
    }

    void syncWithoutChangeChangesNothing()
    {
        run("A+Z1:1 B+Z2:2 B-Z2");
        syncAll("AB");
        use('A');
        const QString before = BookDump::of(BookDump::tables(true).mid(0, 12));
        QCOMPARE(sync('A'), QString("finished"));
        QCOMPARE(BookDump::of(BookDump::tables(true).mid(0, 12)), before);
    }
};

QTEST_MAIN(TestSyncDevices)
#include "tst_syncdevices.moc"
