#include "cannedprompt.h"
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

    // An empty folder means the default one; a relative one would land wherever the program was started, and
    // is refused with the dialog still open and nothing stored.
    void storesTheFolderOnOk_data()
    {
        QTest::addColumn<QString>("typed");  // a leading "~/" stands for the home folder
        QTest::addColumn<bool>("ok");        // else cancelled
        QTest::addColumn<QString>("stored"); // "(absent)": the key removed
        QTest::newRow("absolute, as typed") << "~/备份 2" << true << "~/备份 2";
        QTest::newRow("empty") << "" << true << "(absent)";
        QTest::newRow("blanks") << "   " << true << "(absent)";
        QTest::newRow("relative") << "backup" << true << "~/previous";
        QTest::newRow("home shorthand") << "~user/backup" << true << "~/previous";
        QTest::newRow("cancelled") << "" << false << "~/previous";
    }
    void storesTheFolderOnOk()
    {
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, stored);
        const QString home = m_home->home();
        const QString previous = home + "/previous";
        typed.replace(QRegularExpression("^~/"), home + "/");
        stored.replace("~", home);
        FileSetting::getInstance()->setValue("Backup/BackupDir", previous);

        MessageBoxRecorder boxes;
        DBackup dialog;
        QLineEdit* folder = dialog.findChild<QLineEdit*>("leBackupDir");
        QCOMPARE(folder->text(), previous);
        folder->setText(typed);
        dialog.findChild<QCheckBox*>("cbBackupAfterSync")->setChecked(false);
        dialog.findChild<QPushButton*>(ok ? "pbOk" : "pbCancel")->click();

        const bool accepted = ok && stored != previous;
        QCOMPARE(dialog.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(boxes.boxes().size(), ok && !accepted ? 1 : 0);
        QCOMPARE(storedValue("Backup/BackupDir").toString(), stored);
        for (const QString& key : optionKeys)
            QCOMPARE(storedValue(key), accepted ? QVariant(key != "Backup/BackupAfterSync") : QVariant("(absent)"));
        if (stored == "(absent)")
            QCOMPARE(FileSetting::getInstance()->getBackupDir(),
                     QDir::toNativeSeparators(m_home->dataDir() + "backup/"));
    }

    // A folder longer than the field, stored or just chosen, shows from its start: the character at the field's
    // left edge is the path's first.
    void longFolderShowsFromItsStart_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("stored") << false;
        QTest::newRow("chosen") << true;
    }
    void longFolderShowsFromItsStart()
    {
        QFETCH(bool, chosen);
        const QString folder = m_home->home() + "/" + QString("家庭账本的备份文件夹/").repeated(6);
        FileSetting::getInstance()->setValue("Backup/BackupDir", chosen ? m_home->home() : folder);
        CannedPrompt answer(folder);
        DBackup dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (chosen)
            dialog.findChild<QPushButton*>("pbBackupDir")->click();
        auto* field = dialog.findChild<QLineEdit*>("leBackupDir");
        QCOMPARE(field->text(), folder);
        QVERIFY(field->fontMetrics().horizontalAdvance(folder) > field->width());
        field->repaint(); // the field scrolls its text as it paints
        QCOMPARE(field->cursorPositionAt(QPoint(1, field->height() / 2)), 0);
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestDBackup)
#include "tst_dbackup.moc"
