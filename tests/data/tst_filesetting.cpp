#include "data/constants.h"
#include "data/filesetting.h"
#include "data/settingsfile.h"
#include "testbook.h"
#include "testmount.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestFileSetting : public QObject
{
    Q_OBJECT

private slots:
    void columnWidths_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("clamped and unreadable parts") << "120:abc::600" << QList<int>{120, 50, 50, 500};
        QTest::newRow("single narrow") << "30" << QList<int>{50};
        QTest::newRow("trailing colon") << "100:" << QList<int>{100, 50};
        QTest::newRow("empty") << "" << QList<int>{};
    }

    void columnWidths()
    {
        QFETCH(QString, stored);
        QFETCH(QList<int>, widths);
        TestBook home;
        FileSetting::getInstance()->setValue("Common/ColumnWidthsBillList", stored);
        QCOMPARE(FileSetting::getInstance()->getColumnWidths("BillList"), widths);
    }

    void columnWidthsRoundTrip()
    {
        TestBook home;
        FileSetting* s = FileSetting::getInstance();
        QVERIFY(s->getColumnWidths("AccountList").isEmpty());
        s->setColumnWidths("AccountList", {20, 900});
        QCOMPARE(s->getValue("Common/ColumnWidthsAccountList").toString(), QString("20:900"));
        QCOMPARE(s->getColumnWidths("AccountList"), (QList<int>{50, 500}));
        s->setColumnWidths("AccountList", {});
        QVERIFY(s->getColumnWidths("AccountList").isEmpty());

        s->sync();
        QFile ini(Constants::getInstance()->getConfigDir() + "Quillbay.ini");
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("[Common]"));
        QVERIFY(text.contains("ColumnWidthsAccountList="));
    }

    // A write that finds the disk full leaves the file byte for byte as it was and is written once there is room.
    void survivesAFullDisk()
    {
        TestBook home;
        const QString folder = Constants::getInstance()->getConfigDir();
        const TestMount disk(TestMount::SmallDisk, folder);
        if (!disk.isMounted())
            QSKIP("a small disk needs root to mount");
        FileSetting::resetInstance();
        FileSetting* s = FileSetting::getInstance();
        s->setValue("Common/LastBook", "家庭.db");
        s->setColumnWidths("BillList", {80, 90});
        QVERIFY(s->sync());
        const QByteArray before = TestBook::bytesOf(folder + "Quillbay.ini");

        disk.fill(4096);
        s->setValue("Common/EnableBillTitle", true);
        QVERIFY(!s->sync());
        QCOMPARE(TestBook::bytesOf(folder + "Quillbay.ini"), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"filler", "Quillbay.ini"}));

        disk.clear();
        FileSetting::resetInstance();
        QVERIFY(FileSetting::getInstance()->getValue("Common/EnableBillTitle").toBool());
        QCOMPARE(FileSetting::getInstance()->getValue("Common/LastBook").toString(), QString("家庭.db"));
    }

    // A removed key is gone from the file, not only from this copy's values: the next start reads its default.
    void removedKeyLeavesTheFile_data()
    {
        QTest::addColumn<bool>("writtenByThisCopy");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("gone");
        const QStringList both{"Backup/BackupDir", "Backup/BackupBeforeSync"};
        QTest::newRow("a key this copy wrote") << true << "Backup/BackupDir" << both.mid(0, 1);
        QTest::newRow("a key found in the file") << false << "Backup/BackupDir" << both.mid(0, 1);
        QTest::newRow("a group with its keys") << false << "Backup" << both;
    }
    void removedKeyLeavesTheFile()
    {
        QFETCH(bool, writtenByThisCopy);
        QFETCH(QString, removed);
        QFETCH(QStringList, gone);
        TestBook home;
        const QString path = Constants::getInstance()->getConfigDir() + "Quillbay.ini";
        const QSettings::SettingsMap stored{{"Backup/BackupDir", home.home() + "/bak"},
                                            {"Backup/BackupBeforeSync", false},
                                            {"Common/LastBook", "家庭.db"}};
        if (writtenByThisCopy) {
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                FileSetting::getInstance()->setValue(it.key(), it.value());
        } else {
            QVERIFY(SettingsFile::write(path, stored));
        }
        QVERIFY(FileSetting::getInstance()->sync());

        FileSetting::getInstance()->removeValue(removed);
        QVERIFY(FileSetting::getInstance()->sync());

        FileSetting::resetInstance();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            const QVariant expected = gone.contains(it.key()) ? QVariant() : QVariant(it.value().toString());
            QCOMPARE(SettingsFile::read(path).value(it.key()), expected);
            QCOMPARE(FileSetting::getInstance()->getValue(it.key()), expected);
        }
    }

    // Another running copy writes the file between this copy's changes: this copy's write keeps what the other wrote,
    // but for the keys this copy changed, which it writes as it has them, removals included.
    void keepsWhatAnotherCopyWrote()
    {
        TestBook home;
        const QString path = Constants::getInstance()->getConfigDir() + "Quillbay.ini";
        FileSetting* s = FileSetting::getInstance();
        s->setValue("Common/LastBook", "家庭.db");
        s->setValue("Backup/BackupDir", home.home() + "/bak");
        s->setValue("BillList/PageSize", "20");
        QVERIFY(s->sync());

        QSettings::SettingsMap other = SettingsFile::read(path);
        other.insert("Common/LastBook", "公司.db");
        other.insert("Common/EnableBillTitle", "true");
        other.insert("BillList/PageSize", "50");
        other.insert("Backup/BackupDir", home.home() + "/other");
        QVERIFY(SettingsFile::write(path, other));

        s->setValue("BillList/PageSize", "30");
        s->removeValue("Backup/BackupDir");
        QVERIFY(s->sync());
        const QSettings::SettingsMap expected{
            {"Common/LastBook", "公司.db"}, {"Common/EnableBillTitle", "true"}, {"BillList/PageSize", "30"}};
        QCOMPARE(SettingsFile::read(path), expected);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(s->getValue(it.key()), it.value());
    }

    // Nobody but the owner may change the settings, whatever mode the file was given by hand; who may read it stays.
    void rewriteLeavesOthersNoWrite_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        QTest::newRow("made 0666 by hand") << 0x6666 << 0x6644;
        QTest::newRow("made 0640 by hand") << 0x6640 << 0x6640;
    }
    void rewriteLeavesOthersNoWrite()
    {
        QFETCH(int, mode);
        QFETCH(int, expected);
        TestBook home;
        const QString path = Constants::getInstance()->getConfigDir() + "Quillbay.ini";
        FileSetting::getInstance()->setValue("Common/LastBook", "家庭.db");
        QVERIFY(FileSetting::getInstance()->sync());
        QVERIFY(QFile::setPermissions(path, QFile::Permissions(mode)));

        FileSetting::getInstance()->setValue("Common/EnableBillTitle", true);
        QVERIFY(FileSetting::getInstance()->sync());

        QCOMPARE(QFile::permissions(path) & 0x7777, QFile::Permissions(expected));
        QCOMPARE(SettingsFile::read(path).value("Common/LastBook").toString(), QString("家庭.db"));
    }

    void emptyValueIsNotTheDefault()
    {
        TestBook home;
        FileSetting* s = FileSetting::getInstance();
        QCOMPARE(s->getValue("Feedback/Email", "a@b").toString(), QString("a@b"));
        s->setValue("Feedback/Email", "");
        QCOMPARE(s->getValue("Feedback/Email", "a@b").toString(), QString(""));
    }

    void valuesSurviveReopening()
    {
        TestBook home;
        FileSetting::getInstance()->setValue("Common/EnableBillTitle", true);
        FileSetting::getInstance()->setSyncWhenClose(true);
        FileSetting::resetInstance();
        QCOMPARE(FileSetting::getInstance()->getValue("Common/EnableBillTitle", false).toBool(), true);
        QVERIFY(FileSetting::getInstance()->isSyncWhenClose());
        QVERIFY(!FileSetting::getInstance()->isSyncWhenStartup());
        QVERIFY(!FileSetting::getInstance()->isCloseWhenSyncFinished());
    }

    void pageSize()
    {
        TestBook home;
        FileSetting* s = FileSetting::getInstance();
        QCOMPARE(s->getPageSize(), QString("0"));
        s->setPageSize("自动");
        QCOMPARE(s->getPageSize(), QString("0"));
        s->setPageSize("50");
        QCOMPARE(s->getPageSize(), QString("50"));
    }

    void backupDir()
    {
        TestBook home;
        FileSetting* s = FileSetting::getInstance();
        const QString fallback = Constants::getInstance()->getDbDir() + "backup/";
        QCOMPARE(s->getBackupDir(), fallback);
        QVERIFY(QDir(fallback).exists());

        s->setValue("Backup/BackupDir", home.home() + "/bak");
        QCOMPARE(s->getBackupDir(), home.home() + "/bak/");
        QVERIFY(QDir(home.home() + "/bak").exists());

        s->setValue("Backup/BackupDir", home.home() + "/other/");
        QCOMPARE(s->getBackupDir(), home.home() + "/other/");
    }

    void blankBackupDirIsTheDefault()
    {
        TestBook home;
        FileSetting::getInstance()->setValue("Backup/BackupDir", " \t ");
        QCOMPARE(FileSetting::getInstance()->getBackupDir(), Constants::getInstance()->getDbDir() + "backup/");
    }
};

QTEST_MAIN(TestFileSetting)
#include "tst_filesetting.moc"
