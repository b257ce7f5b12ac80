#include "data/dbsetting.h"
#include "testbook.h"

#include <QSqlQuery>
#include <QtTest>

class TestDbSetting : public QObject
{
    Q_OBJECT

private slots:
    void scrambling_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << ""
                               << "d41d88427e";
        QTest::newRow("abc") << "abc"
                             << "7016bvut03ef0";
    }

    void scrambling()
    {
        QFETCH(QString, plain);
        QFETCH(QString, stored);
        QCOMPARE(DbSetting::encodePassword(plain), stored);
        QCOMPARE(DbSetting::decodePassword(stored), plain);
    }

    void brokenFramesReadAsNoPassword_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("too short") << "7016bvut0";
        QTest::newRow("any ten characters") << "0123456789";
        QTest::newRow("changed body") << "7016bvuu03ef0";
        QTest::newRow("changed front frame") << "7016cvut03ef0";
        QTest::newRow("upper-case frame") << "7016Bvut03EF0";
    }

    void brokenFramesReadAsNoPassword()
    {
        QFETCH(QString, stored);
        QCOMPARE(DbSetting::decodePassword(stored), QString());
    }

    void storablePasswords()
    {
        QVERIFY(DbSetting::canStorePassword("secret 123!"));
        QVERIFY(DbSetting::canStorePassword(""));
        // XOR of UTF-8 lead bytes gives invalid UTF-8, so such a password would not come back.
        QVERIFY(!DbSetting::canStorePassword("中文ab"));
    }

    void readsAndSavesTheRow()
    {
        TestBook book;
        book.open();
        DbSetting* s = DbSetting::getInstance();
        QVERIFY(s->getPassword().isEmpty());
        QVERIFY(s->getUserId().isEmpty());
        QCOMPARE(s->getVersion(), 12);
        QCOMPARE(s->getSyncTime(), QDateTime(QDate(2008, 8, 8), QTime(8, 8, 8)));

        s->setPassword("abc");
        s->setSyncUsername("me@example.org");
        s->setSyncPassword("pw");
        s->setVersion(44);
        QVERIFY(s->save());

        QSqlQuery q("select user_id, password, sync_username, sync_password, version, sync_time from tbl_setting");
        QVERIFY(q.next());
        QVERIFY(q.value(0).isNull());
        QCOMPARE(q.value(1).toString(), QString("7016bvut03ef0"));
        QCOMPARE(q.value(2).toString(), QString("me@example.org"));
        QCOMPARE(DbSetting::decodePassword(q.value(3).toString()), QString("pw"));
        QCOMPARE(q.value(4).toInt(), 44);
        QCOMPARE(q.value(5).toString(), QString("2008-08-08 08:08:08.000"));

        DbSetting::resetInstance();
        QCOMPARE(DbSetting::getInstance()->getPassword(), QString("abc"));
        QCOMPARE(DbSetting::getInstance()->getSyncPassword(), QString("pw"));
    }

    void unstorablePasswordIsRefused_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("taken");
        QTest::newRow("ascii") << "new pw" << true;
        QTest::newRow("cleared") << "" << true;
        QTest::newRow("chinese") << "中文ab" << false;
    }

    // A password that does not survive scrambling would lock the user out of the book.
    void unstorablePasswordIsRefused()
    {
        QFETCH(QString, password);
        QFETCH(bool, taken);
        TestBook book;
        book.open();
        QVERIFY(DbSetting::getInstance()->setPassword("old"));
        QCOMPARE(DbSetting::getInstance()->setPassword(password), taken);
        QVERIFY(DbSetting::getInstance()->save());
        DbSetting::resetInstance();
        QCOMPARE(DbSetting::getInstance()->getPassword(), taken ? password : QString("old"));
    }

    void emptyPasswordsAreStoredFramed()
    {
        TestBook book;
        book.open();
        QVERIFY(DbSetting::getInstance()->save());
        QSqlQuery q("select password, sync_password from tbl_setting");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("d41d88427e"));
        QCOMPARE(q.value(1).toString(), QString("d41d88427e"));
    }
};

QTEST_MAIN(TestDbSetting)
#include "tst_dbsetting.moc"
