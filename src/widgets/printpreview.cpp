#include "widgets/printpreview.h"

#include <QAction>
#include <QApplication>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>

namespace {
// The preview draws a margin and a shadow around the page.
const double pageSurround = 1.15;
// The share of the free area the window takes, leaving room for the frame the window manager adds.
const double areaShare = 0.9;
} // namespace

void PrintPreview::fit(QPrintPreviewDialog* dialog)
{
    const QWidget* active = QApplication::activeWindow();
    const QScreen* screen = active ? active->screen() : dialog->screen();
    const QRect area = screen->availableGeometry();
    const double paperInches = dialog->printer()->pageLayout().fullRect(QPageLayout::Inch).width();
    const int pageWidth = qRound(paperInches * screen->logicalDotsPerInchX() * pageSurround);
    const QSize wanted(qMax(dialog->sizeHint().width(), pageWidth), area.height());
    QRect geometry(QPoint(), wanted.boundedTo(area.size() * areaShare));
    geometry.moveCenter(area.center());
    dialog->setGeometry(geometry);
    // The dialog's own action, so that its tool bar shows the zoom chosen.
    if (auto* fitWidth = dialog->findChild<QAction*>("fitWidthAction"))
        fitWidth->trigger();
}
