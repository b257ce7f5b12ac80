#include "online/dfeedback.h"

#include "shell/framelessdialog.h"
#include "shell/stylepainter.h"

DFeedback::DFeedback(QWidget* parent) : QDialog(parent)
{
    FramelessDialog::frame(this, tr("留言反馈"), QSize(470, 360));
}

void DFeedback::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
