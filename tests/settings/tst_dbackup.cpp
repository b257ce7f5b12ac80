#include "data/filesetting.h"
#include "messageboxrecorder.h"
#include "settings/dbackup.h"
#include "testbook.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QStringList optionKeys{"Backup/BackupWhenStartup", "Backup/BackupWhenClose", "Backup/BackupBeforeSync",
                             "Backup/BackupAfterSync"};

QVariant storedValue(const QString& key)
{
    return FileSetting::getInstance()->getValue(key, "(absent)");
}
} // namespace

class TestDBackup : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_home = new TestBook; }
    void cleanup() { delete m_home; }

    void showsTheStoredOrDefaultValues_data()
    {
        QTest::addColumn<QString>("dir"); // empty: no key; "~" stands for the home folder
        QTest::addColumn<bool>("closeBackup");
        QTest::newRow("nothing stored") << "" << true;
        QTest::newRow("stored as typed") << "~/备份" << false;
    }
    void showsTheStoredOrDefaultValues()
    {
        QFETCH(QString, dir);
        QFETCH(bool, closeBackup);
        dir.replace("~", m_home->home());
        FileSetting* setting = FileSetting::getInstance();
        if (!dir.isEmpty())
            setting->setValue("Backup/BackupDir", dir);
        setting->setValue("Backup/BackupWhenClose", closeBackup);
        DBackup dialog;
        const QString defaultDir = QDir::toNativeSeparators(m_home->dataDir() + "backup/");
        const QString shown = dialog.findChild<QLineEdit*>("leBackupDir")->text();
        QCOMPARE(shown, dir.isEmpty() ? defaultDir : dir);
        QVERIFY(QFileInfo(shown).isDir());
        QCOMPARE(dialog.findChild<QCheckBox*>("cbBackupWhenStartup")->isChecked(), true);
        QCOMPARE(dialog.findChild<QCheckBox*>("cbBackupWhenClose")->isChecked(), closeBackup);
    }

    // An empty folder means the default one; a relative one would land wherever the program was started, and
    // is refused with the dialog still open and nothing stored.
    void storesTheFolderOnOk_data()
    {
        QTest::addColumn<QString>("typed"); // a leading "~/" stands for the home folder
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("stored"); // "(absent)": the key removed
        QTest::newRow("absolute, as typed") << "~/备份 2"
                                            << "pbOk"
                                            << "~/备份 2";
        QTest::newRow("empty") << ""
                               << "pbOk"
                               << "(absent)";
        QTest::newRow("blanks") << "   "
                                << "pbOk"
                                << "(absent)";
        QTest::newRow("relative") << "backup"
                                  << "pbOk"
                                  << "~/previous";
        QTest::newRow("home shorthand") << "~user/backup"
                                        << "pbOk"
                                        << "~/previous";
        QTest::newRow("cancelled") << ""
                                   << "pbCancel"
                                   << "~/previous";
    }
    void storesTheFolderOnOk()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, stored);
        const QString home = m_home->home();
        const QString previous = home + "/previous";
        typed.replace(QRegularExpression("^~/"), home + "/");
        stored.replace("~", home);
        FileSetting::getInstance()->setValue("Backup/BackupDir", previous);

        MessageBoxRecorder boxes;
        DBackup dialog;
        dialog.findChild<QLineEdit*>("leBackupDir")->setText(typed);
        dialog.findChild<QCheckBox*>("cbBackupAfterSync")->setChecked(false);
        dialog.findChild<QPushButton*>(button)->click();

        const bool accepted = button == "pbOk" && stored != previous;
        QCOMPARE(dialog.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(boxes.boxes().size(), accepted || button == "pbCancel" ? 0 : 1);
        QCOMPARE(storedValue("Backup/BackupDir").toString(), stored);
        for (const QString& key : optionKeys)
            QCOMPARE(storedValue(key), accepted ? QVariant(key != "Backup/BackupAfterSync") : QVariant("(absent)"));
        if (stored == "(absent)")
            QCOMPARE(FileSetting::getInstance()->getBackupDir(),
                     QDir::toNativeSeparators(m_home->dataDir() + "backup/"));
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestDBackup)
#include "tst_dbackup.moc"
