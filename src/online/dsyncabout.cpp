#include "online/dsyncabout.h"

#include "ui_dsyncabout.h"

DSyncAbout::DSyncAbout(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DSyncAbout)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("关于同步"));
}

DSyncAbout::~DSyncAbout()
{
    delete ui;
}

void DSyncAbout::on_pushButton_clicked()
{
    close();
}
