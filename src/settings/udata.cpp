#include "settings/udata.h"

#include "data/backuphelper.h"
#include "data/bookreset.h"
#include "data/logcategories.h"
#include "platform/fileprompt.h"
#include "settings/dbackup.h"
#include "ui_udata.h"
#include "widgets/dmessagebox.h"
#include "widgets/programrestart.h"

UData::UData(QWidget* parent) : QWidget(parent), ui(new Ui::UData)
{
    ui->setupUi(this);
}

UData::~UData()
{
    delete ui;
}

void UData::on_pbBackup_clicked()
{
    // The save dialog asks before it names an existing file, so a target that exists is one the user confirmed.
    const QString target = FilePrompt::current()->saveFileName(this, tr("备份数据文件"), tr("数据文件 (*.db)"));
    if (target.isEmpty())
        return;
    if (BackupHelper::isCurrentBook(target)) {
        DMessageBox::information(this, tr("备份失败"), tr("不能备份到正在使用的账本文件，请选择其它文件。"));
        return;
    }
    if (BackupHelper::backupTo(target))
        DMessageBox::information(this, tr("备份成功"), tr("您已经成功备份数据文件。"));
    else
        DMessageBox::information(this, tr("备份失败"), tr("备份数据文件出现错误。"));
}

void UData::on_pbResotre_clicked()
{
    const QString file = chooseDataFile(tr("数据备份文件"));
    if (!file.isEmpty())
        ProgramRestart::with(this, "restore", file);
}

void UData::on_pbAutoBackup_clicked()
{
    DBackup dialog(this);
    dialog.exec();
}

void UData::on_pbKeddo_clicked()
{
    const QString file = chooseDataFile(tr("Lumora数据文件"));
    qCDebug(lcSettings) << file;
    if (!file.isEmpty())
        ProgramRestart::with(this, "keddo", file);
}

void UData::on_pbAutoBackup_2_clicked()
{
    if (!confirmReset())
        return;
    if (BookReset::run())
        DMessageBox::information(this, tr("重置完成"), tr("您已经成功重置数据"));
    else
        DMessageBox::information(this, tr("重置失败"), tr("重置数据出现错误，数据没有改变。"));
}

QString UData::chooseDataFile(const QString& caption)
{
    return FilePrompt::current()->openFileName(this, caption, tr("数据文件 (*.db)"));
}

bool UData::confirmReset()
{
    const QList<QPair<QString, QString>> questions{
        {tr("确定重置?"), tr("重置数据将删除所有数据，并且删除数据后不可以恢复，确定重置数据？")},
        {tr("再次确认?"), tr("重置数据将删除您的所有数据,并把账号恢复到注册时的状态，确定重置数据？")},
        {tr("最后确认?"), tr("删除数据后不可以恢复，确定需要重置数据？")},
    };
    for (const auto& question : questions) {
        if (DMessageBox::question(this, question.first, question.second) != 1)
            return false;
    }
    return true;
}
