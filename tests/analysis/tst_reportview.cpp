#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"
#include "testbook.h"

#include <QOpenGLContext>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

// Started as the program starts, without the browser engine: the view's plugin brings it in on first use.
class TestReportView : public QObject
{
    Q_OBJECT

private slots:
    void firstViewLoadsAndPrints()
    {
        QVERIFY(!QOpenGLContext::globalShareContext());
        QWidget page;
        ReportView* view = ReportViewLoader::create(&page);
        QVERIFY(view);
        QCOMPARE(view->widget()->parent(), &page);
        QVERIFY(QOpenGLContext::globalShareContext());

        int loaded = -1;
        view->setPage("<html><body><table><tr><td>报表</td></tr></table></body></html>",
                      [&loaded](bool ok) { loaded = ok; });
        QTRY_COMPARE_WITH_TIMEOUT(loaded, 1, 20000);

        QTemporaryDir dir;
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("report.pdf"));
        int printed = -1;
        view->printPage(&printer, [&printed](bool ok) { printed = ok; });
        QTRY_COMPARE_WITH_TIMEOUT(printed, 1, 20000);
        QVERIFY(TestBook::bytesOf(printer.outputFileName()).startsWith("%PDF"));
    }
};

QTEST_MAIN(TestReportView)
#include "tst_reportview.moc"
