#include "analysis/printhelper.h"
#include "widgets/printpreview.h"
#include "widgets/stylesheet.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <tuple>

namespace {
// What the user sees of an open print preview.
struct Seen
{
    // No action of the tool bar is folded into its » menu.
    bool toolBarWhole = false;
    // The part of the preview's width that the paper takes.
    double paperShare = 0;
    bool insideTheFreeArea = false;
};

Seen look(QPrintPreviewDialog* dialog)
{
    const auto* fold = dialog->findChild<QToolButton*>("qt_toolbar_ext_button");
    const auto* preview = dialog->findChild<QPrintPreviewWidget*>();
    const double inches = dialog->printer()->pageLayout().fullRect(QPageLayout::Inch).width();
    const double paper = inches * preview->logicalDpiX() * preview->zoomFactor();
    return {fold && !fold->isVisible(), paper / preview->width(),
            dialog->screen()->availableGeometry().contains(dialog->frameGeometry())};
}

// The preview draws its pages at its leisure once it shows: waits until they span most of its width, or a while,
// and tells what it shows then.
Seen lookOnceDrawn(QPrintPreviewDialog* dialog)
{
    std::ignore = QTest::qWaitFor([dialog] { return dialog->isVisible() && look(dialog).paperShare > 0.8; }, 10000);
    return look(dialog);
}
} // namespace

class TestPrintPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qApp->setStyleSheet(StyleSheet::load()); }

    void opensWholeAndFitted_data()
    {
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::newRow("A4") << int(QPageSize::A4) << int(QPageLayout::Portrait);
        QTest::newRow("A4 across") << int(QPageSize::A4) << int(QPageLayout::Landscape);
        QTest::newRow("A5") << int(QPageSize::A5) << int(QPageLayout::Portrait);
    }

    // The preview opens with its whole tool bar, the paper filling its width, inside the screen's free area.
    void opensWholeAndFitted()
    {
        QFETCH(int, paper);
        QFETCH(int, orientation);
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(QPageSize(QPageSize::PageSizeId(paper)));
        printer.setPageOrientation(QPageLayout::Orientation(orientation));
        QPrintPreviewDialog dialog(&printer);
        connect(&dialog, &QPrintPreviewDialog::paintRequested, [](QPrinter* target) {
            QTextDocument document;
            document.setPlainText("2026-12-07 支出 -9876543.21");
            document.print(target);
        });
        PrintPreview::fit(&dialog);
        dialog.show();
        const Seen seen = lookOnceDrawn(&dialog);
        QVERIFY(seen.toolBarWhole);
        QVERIFY2(seen.paperShare > 0.8 && seen.paperShare <= 1, qPrintable(QString::number(seen.paperShare)));
        QVERIFY(seen.insideTheFreeArea);
    }

    void billListPreviewOpensWholeAndFitted()
    {
        Seen seen;
        QTimer::singleShot(0, [&seen] {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = lookOnceDrawn(dialog);
            dialog->reject();
        });
        PrintHelper().preview({});
        QVERIFY(seen.toolBarWhole);
        QVERIFY(seen.paperShare > 0.8);
        QVERIFY(seen.insideTheFreeArea);
    }
};

QTEST_MAIN(TestPrintPreview)
#include "tst_printpreview.moc"
