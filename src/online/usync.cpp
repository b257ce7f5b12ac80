#include "online/usync.h"

#include "ui_usync.h"

#include "data/dbsetting.h"
#include "online/dsync.h"
#include "online/dsyncabout.h"
#include "online/dsyncconfig.h"
#include "shell/dmessagebox.h"

USync::USync(QWidget* parent) : QWidget(parent), ui(new Ui::USync)
{
    ui->setupUi(this);
}

USync::~USync()
{
    delete ui;
}

bool USync::hasSyncAccount()
{
    const DbSetting* setting = DbSetting::getInstance();
    return !setting->getSyncUsername().isEmpty() && !setting->getSyncPassword().isEmpty();
}

void USync::on_pbSync_clicked()
{
    if (!hasSyncAccount()) {
        DMessageBox::information(this, tr("错误"), tr("请填写同步账号和密码"));
        DSyncConfig config(this);
        config.exec();
        if (!hasSyncAccount())
            return;
    }
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
