#include "online/usync.h"

#include "ui_usync.h"

#include "online/dsync.h"
#include "online/dsyncabout.h"
#include "online/dsyncconfig.h"

USync::USync(QWidget* parent) : QWidget(parent), ui(new Ui::USync)
{
    ui->setupUi(this);
}

USync::~USync()
{
    delete ui;
}

void USync::on_pbSync_clicked()
{
    if (!DSyncConfig::askForAccount(this))
        return;
    DSync dialog(this);
    dialog.exec();
}

void USync::on_pbConfig_clicked()
{
    DSyncConfig dialog(this);
    dialog.exec();
}

void USync::on_pbAbount_clicked()
{
    DSyncAbout dialog(this);
    dialog.exec();
}
