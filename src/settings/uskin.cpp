#include "settings/uskin.h"

#include "shell/stylepainter.h"

USkin::USkin(QWidget* parent) : QWidget(parent, Qt::Popup)
{
    resize(220, 130);
}

void USkin::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
