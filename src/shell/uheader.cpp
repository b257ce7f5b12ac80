#include "shell/uheader.h"

#include "ui_uheader.h"

#include "widgets/stylepainter.h"

UHeader::UHeader(QWidget* parent) : QWidget(parent), ui(new Ui::UHeader)
{
    ui->setupUi(this);
}

UHeader::~UHeader()
{
    delete ui;
}

void UHeader::setContentWidget(UContent* content)
{
    ui->wgtToolBar->setContentWidget(content);
}

void UHeader::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
