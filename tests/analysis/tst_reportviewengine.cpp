#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"

#include <QApplication>
#include <QWidget>
#include <QtTest>

#include <unistd.h>

// How the program starts the browser engine: its flags, and as root without being told how by the environment.
class TestReportViewEngine : public QObject
{
    Q_OBJECT

private slots:
    void flags_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<bool>("root");
        QTest::addColumn<QByteArray>("flags");
        QTest::newRow("user") << QByteArray() << false << QByteArray("--log-level=3");
        QTest::newRow("root") << QByteArray() << true << QByteArray("--no-sandbox --log-level=3");
        // A copy started by a restart inherits the flags of the copy before.
        QTest::newRow("root, restarted") << QByteArray("--no-sandbox --log-level=3") << true
                                         << QByteArray("--no-sandbox --log-level=3");
        QTest::newRow("own flags kept") << QByteArray("  --disable-gpu   --lang=zh ") << false
                                        << QByteArray("--disable-gpu --lang=zh --log-level=3");
        QTest::newRow("log level asked for")
            << QByteArray("--log-level=0") << true << QByteArray("--log-level=0 --no-sandbox");
        QTest::newRow("logging asked for")
            << QByteArray("--enable-logging --v=1") << false << QByteArray("--enable-logging --v=1");
        QTest::newRow("a flag only like the sandbox's") << QByteArray("--no-sandbox-zygote") << true
                                                        << QByteArray("--no-sandbox-zygote --no-sandbox --log-level=3");
    }
    void flags()
    {
        QFETCH(QByteArray, given);
        QFETCH(bool, root);
        QFETCH(QByteArray, flags);
        QCOMPARE(ReportViewLoader::engineFlags(given, root), flags);
    }

    // Chromium ends the whole process when root starts it with its sandbox; the program starts it without.
    void rootShowsThePage()
    {
        if (geteuid() != 0)
            QSKIP("only root's start differs");
        QVERIFY(qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"));
        QWidget page;
        ReportView* view = ReportViewLoader::create(&page);
        QVERIFY(view);
        int loaded = -1;
        view->setPage("<html><body><p>报表</p></body></html>", [&loaded](bool ok) { loaded = ok; });
        QTRY_COMPARE_WITH_TIMEOUT(loaded, 1, 30000);
    }
};

int main(int argc, char* argv[])
{
    // As users start the program: nothing in the environment tells the engine how to start.
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    QApplication app(argc, argv);
    TestReportViewEngine test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_reportviewengine.moc"
