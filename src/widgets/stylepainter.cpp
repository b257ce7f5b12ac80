#include "widgets/stylepainter.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

void StylePainter::paintBackground(QWidget* widget)
{
    QStyleOption option;
    option.initFrom(widget);
    QPainter painter(widget);
    widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget);
}
