#include "online/dsyncconfig.h"

#include "shell/framelessdialog.h"
#include "shell/stylepainter.h"

DSyncConfig::DSyncConfig(QWidget* parent) : QDialog(parent)
{
    FramelessDialog::frame(this, tr("同步设置"), QSize(455, 331));
}

void DSyncConfig::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
