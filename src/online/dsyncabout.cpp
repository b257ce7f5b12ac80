#include "online/dsyncabout.h"

#include "ui_dsyncabout.h"

#include "widgets/stylepainter.h"

DSyncAbout::DSyncAbout(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DSyncAbout)
{
    setProperty("style", "dialog");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("关于同步"));
}

DSyncAbout::~DSyncAbout()
{
    delete ui;
}

void DSyncAbout::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}

void DSyncAbout::on_pushButton_clicked()
{
    close();
}
