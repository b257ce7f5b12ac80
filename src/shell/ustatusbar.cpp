#include "shell/ustatusbar.h"

#include "ui_ustatusbar.h"

#include "shell/stylepainter.h"

UStatusBar::UStatusBar(QWidget* parent) : QWidget(parent), ui(new Ui::UStatusBar)
{
    ui->setupUi(this);
}

UStatusBar::~UStatusBar()
{
    delete ui;
}

void UStatusBar::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
