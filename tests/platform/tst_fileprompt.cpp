#include "platform/fileprompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
// Once the dialog shows, keeps the folder it starts in and answers it with the path typed, or cancels it for none.
void whenDialogShows(const QString& typed, QString* startedIn = nullptr)
{
    QTimer::singleShot(0, [typed, startedIn] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (startedIn)
            *startedIn = dialog->directory().absolutePath();
        if (typed.isEmpty())
            return dialog->reject();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
    });
}
} // namespace

class TestFilePrompt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QVERIFY(QDir(m_home.path()).mkpath("Documents") && QDir(m_home.path()).mkpath("elsewhere"));
        QDir::setCurrent(m_home.path());
    }

    // The first dialog starts in the documents folder, not in the folder the program runs in; the next one, of any
    // kind, in the folder of the last answer.
    void startsInDocumentsThenWhereTheLastAnswerWas_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("nextStart");
        QTest::newRow("saved file") << "elsewhere/backup.db"
                                    << "elsewhere";
        QTest::newRow("folder") << "elsewhere"
                                << "elsewhere";
        QTest::newRow("cancelled") << ""
                                   << "Documents";
    }
    void startsInDocumentsThenWhereTheLastAnswerWas()
    {
        QFETCH(QString, answer);
        QFETCH(QString, nextStart);
        FilePrompt prompt;
        QString firstStart;
        whenDialogShows(answer.isEmpty() ? answer : m_home.filePath(answer), &firstStart);
        if (answer.endsWith(".db"))
            prompt.saveFileName(nullptr, "备份数据文件", "数据文件 (*.db)");
        else
            prompt.directory(nullptr, "选择备份目录");
        QString secondStart;
        whenDialogShows(QString(), &secondStart);
        prompt.openFileName(nullptr, "数据备份文件", "数据文件 (*.db)");
        QCOMPARE(firstStart, m_home.filePath("Documents"));
        QCOMPARE(secondStart, m_home.filePath(nextStart));
    }

    // A name typed into the save dialog without an extension gets its filter's.
    void savedNameCarriesTheFiltersExtension_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("backup") << "数据文件 (*.db)"
                                << "mybackup"
                                << "mybackup.db";
        QTest::newRow("report") << "报表文件 (*.html)"
                                << "catreport"
                                << "catreport.html";
        QTest::newRow("extension typed") << "数据文件 (*.db)"
                                         << "mybackup.db"
                                         << "mybackup.db";
    }
    void savedNameCarriesTheFiltersExtension()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QTemporaryDir folder;
        whenDialogShows(folder.filePath(typed));
        QCOMPARE(FilePrompt::current()->saveFileName(nullptr, "保存", filter), folder.filePath(saved));
    }

private:
    QTemporaryDir m_home;
};

QTEST_MAIN(TestFilePrompt)
#include "tst_fileprompt.moc"
