#include "bookdump.h"
#include "bookrows.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "data/recordsql.h"
#include "online/syncchangeset.h"
#include "online/synchelper.h"
#include "serviceprocess.h"
#include "testbook.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

// Two or three books on one account and one running service, each book a device of its own: its own file,
// settings row and sync time. Only one is open at a time, as in one running copy of the program per device.
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
        SyncHelper* engine = SyncHelper::getInstance();
        QSignalSpy finished(engine, &SyncHelper::syncFinished);
        QSignalSpy errors(engine, &SyncHelper::syncError);
        if (!engine->sync() || !QTest::qWaitFor([&] { return finished.size() + errors.size() > 0; }, 20000))
            return "no end";
        return finished.isEmpty() ? errors.at(0).at(0).toString() + "|" + errors.at(0).at(1).toString() : "finished";
    }

    // Every device syncs, then all but the last again, so that each has seen every other's change.
    void syncAll(const QString& devices)
    {
        for (const QChar device : devices + devices.chopped(1))
            QCOMPARE(sync(device), QString("finished"));
    }

    // Stamps have a resolution of one second: edits that must be ordered lie in different seconds.
    static void nextSecond()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY(QTest::qWaitFor([now] { return QDateTime::currentSecsSinceEpoch() > now; }, 2000));
    }

    static QString billIdOf(const QString& title)
    {
        return BookRows::value("select id from tbl_bill where title=?", {title}).toString();
    }

    static void addBill(const QString& title, double amount)
    {
        MBill bill;
        bill.setTitle(title);
        bill.setAmount(amount);
        bill.setDate(QDate(2014, 5, 17));
        bill.setMonth(201405);
        bill.setKind("expense");
        bill.setAccountId(BookRows::value("select id from tbl_account order by sort limit 1").toString());
        QVERIFY(bill.insert());
    }

    // "A+Z2:1" adds a bill on A, "B=Z1:33.44" sets its amount on B, "A-Z1" deletes it on A, "C!" syncs C and
    // "~" waits for the next second.
    void run(const QString& script)
    {
        for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
            if (step == "~") {
                nextSecond();
                continue;
            }
            use(step.at(0));
            const QString title = step.mid(2).section(':', 0, 0);
            const double amount = step.section(':', 1).toDouble();
            switch (step.at(1).toLatin1()) {
            case '+':
                addBill(title, amount);
                break;
            case '=':
                BookRows::exec("update tbl_bill set amount=? where title=?", {amount, title});
                break;
            case '-':
                QVERIFY(RecordSql::removeRow("tbl_bill", billIdOf(title)));
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
        QStringList titles;
        QSqlQuery query("select title, amount from tbl_bill order by title");
        while (query.next())
            titles << query.value(0).toString() + ":" + SyncChangeSet::valueText(query.value(1));
        return titles.join('|');
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
        const QString a = BookDump::of(BookDump::syncedTables());
        use('B');
        QCOMPARE(BookDump::of(BookDump::syncedTables()), a);
    }

    void rulesDialogCases_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1 new bill") << "AB"
                                    << "A+Z3:3"
                                    << "Z1:1|Z2:2|Z3:3";
        QTest::newRow("2 new bills on both") << "AB"
                                             << "A+Z3:3 B+Z4:4"
                                             << "Z1:1|Z2:2|Z3:3|Z4:4";
        QTest::newRow("3 edit here, new bill there") << "AB"
                                                     << "A=Z1:5 B+Z4:4"
                                                     << "Z1:5|Z2:2|Z4:4";
        QTest::newRow("4 the later edit wins") << "AB"
                                               << "A=Z1:11.99 ~ B=Z1:33.44"
                                               << "Z1:33.44|Z2:2";
        QTest::newRow("5 edits of two bills") << "AB"
                                              << "A=Z1:11.99 ~ B=Z2:33.44"
                                              << "Z1:11.99|Z2:33.44";
        QTest::newRow("6 a later deletion wins") << "AB"
                                                 << "A=Z1:11.99 ~ B-Z1"
                                                 << "Z2:2";
        QTest::newRow("7 a later edit restores") << "AB"
                                                 << "A-Z1 ~ B=Z1:12.36"
                                                 << "Z1:12.36|Z2:2";
        QTest::newRow("4 with a third device") << "ABC"
                                               << "A=Z1:11.99 ~ C=Z1:33.44"
                                               << "Z1:33.44|Z2:2";
        QTest::newRow("6 with a third device") << "ABC"
                                               << "A=Z1:11.99 ~ C-Z1"
                                               << "Z2:2";
        QTest::newRow("7 with a third device") << "ABC"
                                               << "C-Z1 ~ B=Z1:12.36"
                                               << "Z1:12.36|Z2:2";
        // A deletion A receives must not go up again as newer than the edit C made after it.
        QTest::newRow("a relayed deletion keeps its stamp") << "ABC"
                                                            << "B-Z1 B! ~ C=Z1:7 ~ A! C! A!"
                                                            << "Z1:7|Z2:2";
    }
    void rulesDialogCases()
    {
        QFETCH(QString, devices);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        run("A+Z1:1 A+Z2:2");
        syncAll(devices);
        nextSecond();

        run(script);
        syncAll(devices);

        const QString first = BookDump::of(BookDump::syncedTables());
        for (const QChar device : devices) {
            QCOMPARE(bills(device), expected);
            QCOMPARE(BookDump::of(BookDump::syncedTables()), first);
        }
    }

    void syncWithoutChangeChangesNothing()
    {
        run("A+Z1:1 B+Z2:2 B-Z2");
        syncAll("AB");
        use('A');
        const QString before = BookDump::of(BookDump::allTables().mid(0, 12));
        QCOMPARE(sync('A'), QString("finished"));
        QCOMPARE(BookDump::of(BookDump::allTables().mid(0, 12)), before);
    }

    void refusedAccountLeavesTheBookAlone()
    {
        use('A');
        DbSetting::getInstance()->setSyncPassword("wrong");
        QVERIFY(DbSetting::getInstance()->save());
        addBill("Z1", 1);
        const QByteArray before = TestBook::bytesOf(m_home->dataDir() + "deviceA.db");
        const QString end = sync('A');
        QVERIFY2(end.contains('|') && !end.startsWith("505"), qPrintable(end));
        QVERIFY(TestBook::bytesOf(m_home->dataDir() + "deviceA.db") == before);
    }
};

QTEST_MAIN(TestSyncDevices)
#include "tst_syncdevices.moc"
