#include "platform/fileprompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestFilePrompt : public QObject
{
    Q_OBJECT

private slots:
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
