#include "settings/dbackup.h"

#include "data/filesetting.h"
#include "platform/fileprompt.h"
#include "ui_dbackup.h"
#include "widgets/dmessagebox.h"

#include <QDir>

namespace {
const char* const dirKey = "Backup/BackupDir";

struct Option
{
    const char* key;
    QCheckBox* Ui::DBackup::*box;
};

const Option options[] = {
    {"Backup/BackupWhenStartup", &Ui::DBackup::cbBackupWhenStartup},
    {"Backup/BackupWhenClose", &Ui::DBackup::cbBackupWhenClose},
    {"Backup/BackupBeforeSync", &Ui::DBackup::cbBackupBeforeSync},
    {"Backup/BackupAfterSync", &Ui::DBackup::cbBackupAfterSync},
};
} // namespace

DBackup::DBackup(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DBackup)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("备份设置"));
    // The captions in the look's fonts may need more room than the design size gives.
    resize(size().expandedTo(sizeHint()));

    FileSetting* setting = FileSetting::getInstance();
    const QString defaultDir = setting->getBackupDir();
    showFolder(setting->getValue(dirKey, defaultDir).toString());
    for (const Option& option : options)
        (ui->*option.box)->setChecked(setting->getValue(option.key, true).toBool());
}

DBackup::~DBackup()
{
    delete ui;
}

void DBackup::on_pbBackupDir_clicked()
{
    const QString dir = FilePrompt::current()->directory(this, "选择备份目录");
    if (!dir.isEmpty())
        showFolder(dir);
}

void DBackup::showFolder(const QString& folder)
{
    ui->leBackupDir->setText(folder);
    // A path longer than the field shows from its start, not scrolled to the cursor at its end.
    ui->leBackupDir->setCursorPosition(0);
}

void DBackup::on_pbCancel_clicked()
{
    close();
}

void DBackup::on_pbOk_clicked()
{
    const QString dir = ui->leBackupDir->text();
    if (!dir.trimmed().isEmpty() && QDir::isRelativePath(dir)) {
        DMessageBox::error(this, tr("备份路径必须是完整的路径，请点击“选择目录”选择备份目录。"));
        return;
    }
    FileSetting* setting = FileSetting::getInstance();
    if (dir.trimmed().isEmpty())
        setting->removeValue(dirKey);
    else
        setting->setValue(dirKey, dir);
    for (const Option& option : options)
        setting->setValue(option.key, (ui->*option.box)->isChecked());
    accept();
}
