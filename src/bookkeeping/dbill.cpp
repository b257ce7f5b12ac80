#include "bookkeeping/dbill.h"

#include "shell/framelessdialog.h"
#include "shell/stylepainter.h"

DBill::DBill(QWidget* parent) : QDialog(parent)
{
    FramelessDialog::frame(this, tr("账目"), QSize(713, 410));
}

void DBill::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
