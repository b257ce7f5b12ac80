#include "online/dsyncconfig.h"

#include "ui_dsyncconfig.h"

#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/logcategories.h"
#include "data/shownaddress.h"
#include "online/httphelper.h"
#include "online/json.h"
#include "widgets/dmessagebox.h"
#include "widgets/weblink.h"

DSyncConfig::DSyncConfig(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DSyncConfig)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("同步设置"));
    // The skin's frame takes room of its own; the explanation must not be cut.
    resize(size().expandedTo(minimumSizeHint()));
    connect(this, &QDialog::finished, this, &DSyncConfig::abandonCheck);

    const DbSetting* setting = DbSetting::getInstance();
    ui->leSyncUsername->setText(setting->getSyncUsername());
    ui->leSyncPassword->setText(setting->getSyncPassword());
    const FileSetting* settings = FileSetting::getInstance();
    ui->cbSyncWhenStartup->setChecked(settings->isSyncWhenStartup());
    ui->cbSyncWhenClose->setChecked(settings->isSyncWhenClose());
    if (!setting->getSyncUsername().isEmpty())
        ui->leSyncUsername->setEnabled(false);
    else
        DMessageBox::information(this, tr("注意"), tr("同步账号一旦绑定，以后就不能修改了"));
}

bool DSyncConfig::askForAccount(QWidget* parent)
{
    if (DbSetting::getInstance()->hasSyncAccount())
        return true;
    DMessageBox::information(parent, tr("错误"), tr("请填写同步账号和密码"));
    DSyncConfig dialog(parent);
    dialog.exec();
    return DbSetting::getInstance()->hasSyncAccount();
}

DSyncConfig::~DSyncConfig()
{
    delete ui;
}

void DSyncConfig::on_pbOK_clicked()
{
    // Checked before the service is asked: such a password would be stored as something else, and every later
    // sync would then fail with it.
    if (!DbSetting::canStorePassword(ui->leSyncPassword->text())) {
        DMessageBox::information(this, tr("错误！"), tr("密码只能使用英文字母、数字和符号，请重新输入。"));
        return;
    }
    if (const QString problem = Constants::getInstance()->getServiceUrlProblem(); !problem.isEmpty()) {
        refuse(problem);
        return;
    }
    abandonCheck();
    setChecking(true);
    m_check = new HttpHelper(this);
    connect(m_check, &HttpHelper::finished, this, &DSyncConfig::downloadHtml);
    connect(m_check, &HttpHelper::error, this, &DSyncConfig::downloadError);
    const QString url = Constants::getInstance()->getBaseUrl() + "sync/userid.php";
    qCDebug(lcOnline) << ShownAddress::of(url);
    m_check->post(url, {{"username", ui->leSyncUsername->text()}, {"password", ui->leSyncPassword->text()}});
}

void DSyncConfig::downloadHtml(QString html)
{
    const QVariantMap answer = JSON::getInstance()->toMap(html);
    if (answer.contains("error")) {
        refuse(tr("用户名或密码错误！"));
        return;
    }
    // Only an account id confirms the account; anything else is no answer of the service.
    if (answer.value("id").toString().isEmpty()) {
        refuse(tr("与服务器通讯出错！"));
        return;
    }
    store();
}

void DSyncConfig::store()
{
    DbSetting* setting = DbSetting::getInstance();
    const QString oldName = setting->getSyncUsername();
    const QString oldPassword = setting->getSyncPassword();
    setting->setSyncUsername(ui->leSyncUsername->text());
    setting->setSyncPassword(ui->leSyncPassword->text());
    if (!setting->save()) {
        // The book keeps the old account, so the program must too.
        setting->setSyncUsername(oldName);
        setting->setSyncPassword(oldPassword);
        setChecking(false);
        DMessageBox::error(this, tr("同步账号保存失败。"));
        return;
    }
    FileSetting* settings = FileSetting::getInstance();
    settings->setSyncWhenStartup(ui->cbSyncWhenStartup->isChecked());
    settings->setSyncWhenClose(ui->cbSyncWhenClose->isChecked());
    DMessageBox::information(this, tr("正确！"), tr("用户名密码正确！"));
    accept();
}

void DSyncConfig::downloadError()
{
    refuse(tr("与服务器通讯出错！"));
}

void DSyncConfig::refuse(const QString& text)
{
    DMessageBox::information(this, tr("错误！"), text);
    setChecking(false);
}

void DSyncConfig::abandonCheck()
{
    if (m_check) {
        m_check->disconnect(this);
        m_check->deleteLater();
    }
    setChecking(false);
}

void DSyncConfig::setChecking(bool checking)
{
    ui->pbOK->setText(checking ? tr("正在查检账号") : tr("确定"));
    ui->pbOK->setEnabled(!checking);
}

void DSyncConfig::on_pbSignup_clicked()
{
    // The service's front page is where accounts are registered.
    WebLink::openService(this);
}

void DSyncConfig::on_pbCancel_clicked()
{
    reject();
}
