#include "online/dsync.h"

#include "ui_dsync.h"

#include "data/filesetting.h"
#include "data/logcategories.h"
#include "online/synchelper.h"
#include "widgets/dmessagebox.h"

#include <QTimer>

DSync::DSync(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DSync)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("数据同步"));
    SyncHelper* engine = SyncHelper::getInstance();
    connect(engine, &SyncHelper::syncLog, this, &DSync::syncLog);
    connect(engine, &SyncHelper::syncProgress, this, &DSync::syncProgress);
    connect(engine, &SyncHelper::syncFinished, this, &DSync::syncFinished);
    connect(engine, &SyncHelper::syncError, this, &DSync::syncError);
    // A closed dialog has told its sync's end, or was closed by the user: later syncs are none of its business.
    connect(this, &QDialog::finished, this, [this, engine] { engine->disconnect(this); });
    engine->sync();
    ui->pbOK->hide();
    ui->pbProgress->setRange(0, 0);
    ui->cbAutoClose->setChecked(FileSetting::getInstance()->isCloseWhenSyncFinished());
}

DSync::~DSync()
{
    delete ui;
}

void DSync::syncLog(QString message)
{
    ui->lblLog->setText(message);
}

void DSync::syncProgress(float progress)
{
    qCDebug(lcOnline) << progress;
    ui->pbProgress->setValue(int(progress));
}

void DSync::syncFinished()
{
    if (FileSetting::getInstance()->isCloseWhenSyncFinished()) {
        closeLater(Accepted);
        return;
    }
    ui->lblLog->setText(tr("您已经成功完成数据同步。"));
    ui->lblLog_2->hide();
    ui->pbProgress->hide();
    ui->pbOK->show();
}

void DSync::syncError(int, QString message)
{
    DMessageBox::information(this, tr("同步出错"), message);
    closeLater(Rejected);
}

void DSync::closeLater(int result)
{
    QTimer::singleShot(0, this, [this, result] { done(result); });
}

void DSync::on_pbOK_clicked()
{
    accept();
}

void DSync::on_cbAutoClose_clicked()
{
    FileSetting::getInstance()->setCloseWhenSyncFinished(ui->cbAutoClose->isChecked());
}
