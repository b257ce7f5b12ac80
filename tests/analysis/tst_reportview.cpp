#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"
#include "messagerecorder.h"

#include <QApplication>
#include <QQuickWindow>
#include <QWidget>
#include <QtTest>

// Started as the program starts, without the browser engine: the view's plugin brings it in on first use.
class TestReportView : public QObject
{
    Q_OBJECT

private slots:
    void missingPluginIsToldOnce()
    {
        QTemporaryDir empty;
        ReportViewLoader::setPluginFolders({empty.path()});
        MessageRecorder messages;
        QWidget page;
        QVERIFY(!ReportViewLoader::create(&page));
        QVERIFY(!ReportViewLoader::create(&page));
        ReportViewLoader::setPluginFolders({});
        const QStringList lines = messages.lines("quillbay.analysis");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains("no charts or reports"), qPrintable(lines.first()));
    }

    // The engine would end the program when it finds no helper program to draw in: the view is missing instead.
    void missingEngineHelperIsAMissingView()
    {
        qputenv("QTWEBENGINEPROCESS_PATH", "/nonexistent/QtWebEngineProcess");
        MessageRecorder messages;
        QWidget page;
        QVERIFY(!ReportViewLoader::create(&page));
        qunsetenv("QTWEBENGINEPROCESS_PATH");
        ReportViewLoader::setPluginFolders({});
        QVERIFY(messages.lines("quillbay.analysis").join('\n').contains("/nonexistent/QtWebEngineProcess"));
    }

    // The test platform offers OpenGL but, without a display, makes no context, as a desktop whose driver fails:
    // the view is drawn in software and shows its page, and the terminal is told once. Run as root, the engine
    // starts although nothing in the environment turned its sandbox off.
    void failedGraphicsContextIsDrawnInSoftware()
    {
        MessageRecorder messages;
        QWidget page;
        ReportView* view = ReportViewLoader::create(&page);
        QVERIFY(view);
        QCOMPARE(view->widget()->parent(), &page);
        QCOMPARE(QQuickWindow::sceneGraphBackend(), QString("software"));
        int loaded = -1;
        view->setPage("<html><body><p>报表</p></body></html>", [&loaded](bool ok) { loaded = ok; });
        QTRY_COMPARE_WITH_TIMEOUT(loaded, 1, 20000);
        QVERIFY(ReportViewLoader::create(&page));
        QCOMPARE(messages.lines("quillbay.analysis"),
                 QStringList{"quillbay.analysis: no OpenGL context for the browser engine: charts and reports are "
                             "drawn in software"});
    }

    void engineFlagsKeepWhatIsGiven()
    {
        QCOMPARE(ReportViewLoader::engineFlags(" --lang=zh ", true), "--lang=zh --no-sandbox --log-level=3");
        // A copy started by a restart inherits the flags of the copy before.
        QCOMPARE(ReportViewLoader::engineFlags("--no-sandbox --log-level=3", true), "--no-sandbox --log-level=3");
        QCOMPARE(ReportViewLoader::engineFlags("--enable-logging --no-sandbox-zygote", false),
                 "--enable-logging --no-sandbox-zygote");
    }
};

int main(int argc, char* argv[])
{
    // Without a display the offscreen platform makes no OpenGL context; and the engine starts as users start it.
    qunsetenv("DISPLAY");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    QApplication app(argc, argv);
    TestReportView test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_reportview.moc"
