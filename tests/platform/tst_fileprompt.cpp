#include "platform/fileprompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Once the dialog shows, keeps the folder it starts in and answers it with `answer`, or cancels it for none.
void whenDialogShows(QString* startedIn, const QString& answer)
{
    QTimer::singleShot(0, [startedIn, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *startedIn = dialog->directory().absolutePath();
        if (answer.isEmpty()) {
            dialog->reject();
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(answer);
        QTest::keyClick(name, Qt::Key_Return);
    });
}
} // namespace

class TestFilePrompt : public QObject
{
    Q_OBJECT

private slots:
    // The first dialog starts in the documents folder, whatever folder the program runs in; the next one, of any
    // kind, where the user answered the last one.
    void startsInDocumentsThenWhereTheLastAnswerWas_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("next");
        QTest::newRow("saved file") << "save"
                                    << "elsewhere/backup.db"
                                    << "elsewhere"
                                    << "open";
        QTest::newRow("opened file") << "open"
                                     << "elsewhere/old.db"
                                     << "elsewhere"
                                     << "save";
        QTest::newRow("folder") << "folder"
                                << "elsewhere/inner"
                                << "elsewhere/inner"
                                << "save";
        QTest::newRow("cancelled") << "open"
                                   << ""
                                   << "Documents"
                                   << "folder";
    }
    void startsInDocumentsThenWhereTheLastAnswerWas()
    {
        QFETCH(QString, first);
        QFETCH(QString, answer);
        QFETCH(QString, kept);
        QFETCH(QString, next);
        QTemporaryDir home;
        const QByteArray homeBefore = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        QDir(home.path()).mkpath("Documents");
        QDir(home.path()).mkpath("elsewhere/inner");
        QFile(home.filePath("elsewhere/old.db")).open(QIODevice::WriteOnly);
        QTemporaryDir workingFolder;
        const QString workingBefore = QDir::currentPath();
        QDir::setCurrent(workingFolder.path());

        FilePrompt prompt;
        const auto ask = [&prompt](const QString& kind) {
            if (kind == "save")
                return prompt.saveFileName(nullptr, "备份数据文件", "数据文件 (*.db)");
            if (kind == "open")
                return prompt.openFileName(nullptr, "数据备份文件", "数据文件 (*.db)");
            return prompt.directory(nullptr, "选择备份目录");
        };
        QString firstFolder;
        whenDialogShows(&firstFolder, answer.isEmpty() ? QString() : home.filePath(answer));
        QCOMPARE(ask(first), answer.isEmpty() ? QString() : home.filePath(answer));
        QString nextFolder;
        whenDialogShows(&nextFolder, QString());
        ask(next);

        QDir::setCurrent(workingBefore);
        qputenv("HOME", homeBefore);
        QCOMPARE(firstFolder, home.filePath("Documents"));
        QCOMPARE(nextFolder, home.filePath(kept));
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
        QTimer::singleShot(0, [&folder, typed] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->setDirectory(folder.path());
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(typed);
            QTest::keyClick(name, Qt::Key_Return);
        });
        QCOMPARE(FilePrompt::current()->saveFileName(nullptr, "保存", filter), folder.filePath(saved));
    }
};

QTEST_MAIN(TestFilePrompt)
#include "tst_fileprompt.moc"
