#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"

#include <QOpenGLContext>
#include <QWidget>
#include <QtTest>

// Started as the program starts, without the browser engine: the view's plugin brings it in on first use.
class TestReportView : public QObject
{
    Q_OBJECT

private slots:
    void firstViewBringsTheEngine()
    {
        QVERIFY(!QOpenGLContext::globalShareContext());
        QWidget page;
        ReportView* view = ReportViewLoader::create(&page);
        QVERIFY(view);
        QCOMPARE(view->widget()->parent(), &page);
        QVERIFY(QOpenGLContext::globalShareContext());
        int loaded = -1;
        view->setPage("<html><body><p>报表</p></body></html>", [&loaded](bool ok) { loaded = ok; });
        QTRY_COMPARE_WITH_TIMEOUT(loaded, 1, 20000);
    }
};

QTEST_MAIN(TestReportView)
#include "tst_reportview.moc"
