#include "widgets/dbasedialog.h"

#include "widgets/stylepainter.h"

#include <QLayout>

DBaseDialog::DBaseDialog(QWidget* parent) : QDialog(parent)
{
    setProperty("style", "dialog");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

void DBaseDialog::setVisible(bool visible)
{
    if (!visible || isVisible()) {
        QDialog::setVisible(visible);
        return;
    }
    // A window manager takes a new window into a frame that stands at the screen's corner until it has placed it,
    // and says nothing more when it places the window where the window asked to stand. A window made first and
    // then moved over its parent (as a dialog centres itself when it shows) sends a geometry notice that the
    // window system may read in that moment: the program then believes the dialog stands at the corner and opens
    // its popups there. Laid out and placed before its window is made, the dialog asks nothing of the window
    // system before it shows. A dialog shown over this one before it showed (a missing account asked for) had its
    // window made early.
    if (testAttribute(Qt::WA_WState_Created))
        destroy();
    ensurePolished();
    if (layout())
        layout()->activate();
    const bool centred = !testAttribute(Qt::WA_Moved);
    if (centred)
        adjustPosition(parentWidget());
    QDialog::setVisible(true);
    // As with any dialog, a place that neither the program nor the user chose is chosen again at the next showing.
    if (centred)
        setAttribute(Qt::WA_Moved, false);
}

void DBaseDialog::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
