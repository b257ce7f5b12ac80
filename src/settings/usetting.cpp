#include "settings/usetting.h"

#include "ui_usetting.h"

#include "data/bookshelf.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/logcategories.h"
#include "widgets/dmessagebox.h"

#include <QDir>
#include <QInputDialog>

USetting::USetting(QWidget* parent) : QWidget(parent), ui(new Ui::USetting)
{
    ui->setupUi(this);
    ui->tabWidget->setCurrentIndex(0);
    loadValues();
}

USetting::~USetting()
{
    delete ui;
}

QList<USetting::Option> USetting::options() const
{
    return {{ui->cbEnableBillTitle, "Common/EnableBillTitle", false},
            {ui->cbEnableBillMember, "Common/EnableBillMember", true},
            {ui->cbAnalysisAllData, "Common/AnalysisAllData", false},
            {ui->cbEnableSystemTrayIcon, "Common/EnableSystemTrayIcon", false},
            {ui->cbEnableAutoUpdate, "Common/EnableAutoUpdate", true},
            {ui->cbEnableHttpProxy, "Proxy/EnableHttpProxy", false}};
}

QList<USetting::KindColor> USetting::kindColors() const
{
    return {{ui->cbExpenseColor, "Color/ExpenseColor", QColor(Qt::red)},
            {ui->cbIncomeColor, "Color/IncomeColor", QColor(Qt::green)},
            {ui->cbTransferColor, "Color/TransferColor", QColor(Qt::yellow)},
            {ui->cbLendColor, "Color/LendColor", QColor(Qt::gray)},
            {ui->cbBorrowColor, "Color/BorrowColor", QColor(Qt::lightGray)},
            {ui->cbRefundColor, "Color/RefundColor", QColor(Qt::gray)},
            {ui->cbRepayColor, "Color/RepayColor", QColor(Qt::lightGray)}};
}

void USetting::loadValues()
{
    FileSetting* settings = FileSetting::getInstance();
    for (const Option& option : options())
        option.box->setChecked(settings->getValue(option.key, option.defaultValue).toBool());
    enableProxyFields(ui->cbEnableHttpProxy->isChecked());

    ui->lePassword->setText(DbSetting::getInstance()->getPassword());
    ui->lePassword_2->setText(DbSetting::getInstance()->getPassword());

    for (const KindColor& kind : kindColors())
        kind.button->setColor(settings->getValue(kind.key, kind.defaultColor).value<QColor>());

    refreshBookList();

    const QSignalBlocker blocker(ui->cbPageSize);
    ui->cbPageSize->addItems({tr("自动"), "20", "30", "40", "60", "80", "100", "200", "200", "500"});
    ui->cbPageSize->setCurrentIndex(
        qMax(0, ui->cbPageSize->findText(settings->getPageSize(), Qt::MatchExactly | Qt::MatchCaseSensitive)));
}

void USetting::storeOption(QCheckBox* box, const char* key)
{
    FileSetting::getInstance()->setValue(key, box->isChecked());
}

void USetting::storeColor(QColorButton* button, const char* key)
{
    FileSetting::getInstance()->setValue(key, button->color());
}

void USetting::enableProxyFields(bool on)
{
    for (QWidget* field : {static_cast<QWidget*>(ui->leProxyUrl), static_cast<QWidget*>(ui->sbProxyPort),
                           static_cast<QWidget*>(ui->leProxyUsername), static_cast<QWidget*>(ui->leProxyPassword)})
        field->setEnabled(on);
}

void USetting::refreshBookList()
{
    const QString folder = Constants::getInstance()->getDbDir();
    QDir().mkpath(folder);
    ui->lwBookList->clear();
    for (const QFileInfo& file : BookShelf::books(folder))
        ui->lwBookList->addItem(file.fileName().chopped(3));
}

void USetting::on_cbEnableBillTitle_clicked()
{
    storeOption(ui->cbEnableBillTitle, "Common/EnableBillTitle");
}

void USetting::on_cbEnableBillMember_clicked()
{
    storeOption(ui->cbEnableBillMember, "Common/EnableBillMember");
}

void USetting::on_cbEnableSystemTrayIcon_clicked()
{
    storeOption(ui->cbEnableSystemTrayIcon, "Common/EnableSystemTrayIcon");
    // Whichever way it was switched, the hint about hiding to the tray is shown afresh.
    FileSetting::getInstance()->setValue("Common/SystemTrayIconHintCount", 0);
}

void USetting::on_cbEnableAutoUpdate_clicked()
{
    storeOption(ui->cbEnableAutoUpdate, "Common/EnableAutoUpdate");
}

void USetting::on_cbEnableHttpProxy_clicked()
{
    storeOption(ui->cbEnableHttpProxy, "Proxy/EnableHttpProxy");
    enableProxyFields(ui->cbEnableHttpProxy->isChecked());
}

void USetting::on_cbAnalysisAllData_clicked()
{
    storeOption(ui->cbAnalysisAllData, "Common/AnalysisAllData");
}

void USetting::on_cbExpenseColor_clicked()
{
    storeColor(ui->cbExpenseColor, "Color/ExpenseColor");
}

void USetting::on_cbIncomeColor_clicked()
{
    storeColor(ui->cbIncomeColor, "Color/IncomeColor");
}

void USetting::on_cbTransferColor_clicked()
{
    storeColor(ui->cbTransferColor, "Color/TransferColor");
}

void USetting::on_cbLendColor_clicked()
{
    storeColor(ui->cbLendColor, "Color/LendColor");
}

void USetting::on_cbBorrowColor_clicked()
{
    storeColor(ui->cbBorrowColor, "Color/BorrowColor");
}

void USetting::on_cbRefundColor_clicked()
{
    storeColor(ui->cbRefundColor, "Color/RefundColor");
}

void USetting::on_cbRepayColor_clicked()
{
    storeColor(ui->cbRepayColor, "Color/RepayColor");
}

void USetting::on_cbPageSize_currentIndexChanged(int)
{
    FileSetting::getInstance()->setPageSize(ui->cbPageSize->currentText());
}

void USetting::on_pbOK_clicked()
{
    if (ui->lePassword->text() != ui->lePassword_2->text()) {
        DMessageBox::information(this, tr("错误"), tr("密码和重复密码不一致，请重新确认！"));
        return;
    }
    if (storePassword(ui->lePassword->text()))
        DMessageBox::information(this, tr("设置密码成功"), tr("您已经成功设置登陆密码，将在下次启动时生效！"));
}

void USetting::on_pbClear_clicked()
{
    ui->lePassword->clear();
    ui->lePassword_2->clear();
    if (storePassword(QString()))
        DMessageBox::information(this, tr("清除密码成功"), tr("您已经成功清除登陆密码，将在下次启动时生效！"));
}

bool USetting::storePassword(const QString& password)
{
    DbSetting* setting = DbSetting::getInstance();
    const QString previous = setting->getPassword();
    if (!setting->setPassword(password)) {
        DMessageBox::information(this, tr("错误"), tr("密码只能由英文字母、数字和英文符号组成，请重新输入！"));
        return false;
    }
    if (!setting->save()) {
        setting->setPassword(previous);
        DMessageBox::error(this, tr("保存登陆密码失败，登陆密码没有改变！"));
        return false;
    }
    return true;
}

QString USetting::askBookName()
{
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("新建账本"), tr("请输入新账本的名称："), QLineEdit::Normal, QString(), &ok);
    return ok ? name : QString();
}

QString USetting::currentBook() const
{
    const QListWidgetItem* item = ui->lwBookList->currentItem();
    return item ? item->text() : QString();
}

bool USetting::isBookInUse(const QString& name) const
{
    return name + ".db" == Constants::getInstance()->getBookName();
}

QString USetting::badNameText() const
{
    return tr("账本名称不能为空，不能以“.”开头，也不能包含 \\ / : * ? \" < > | 等字符，请重新输入！");
}

void USetting::on_pbCreateBook_clicked()
{
    const QString name = askBookName();
    if (name.isEmpty())
        return;
    switch (BookShelf::create(name)) {
    case BookShelf::Result::Done:
        DMessageBox::information(this, tr("新建成功"), tr("新建成功！您可以通过窗口顶部\"[切换账本]\"按钮快速切换账"));
        refreshBookList();
        break;
    case BookShelf::Result::BadName:
        DMessageBox::information(this, tr("新建失败"), badNameText());
        break;
    default:
        // A book of that name is there already, or the folder cannot be written: nothing was made.
        break;
    }
}

void USetting::on_pbRenameBook_clicked()
{
    const QString oldName = currentBook();
    if (oldName.isEmpty())
        return;
    if (isBookInUse(oldName)) {
        DMessageBox::information(this, tr("修改失败"), tr("账本正在被使用，您不能修改正在使用的账本"));
        return;
    }
    const QString newName = askBookName();
    if (newName.isEmpty())
        return;
    switch (BookShelf::rename(oldName, newName)) {
    case BookShelf::Result::Done:
        DMessageBox::information(this, tr("修改成功"), tr("您已经成功修改账本名称！"));
        refreshBookList();
        break;
    case BookShelf::Result::BadName:
        DMessageBox::information(this, tr("修改失败"), badNameText());
        break;
    default:
        DMessageBox::information(this, tr("修改失败"), tr("修改账本名称失败，可能此账本文件已经被其他程序占用！"));
        break;
    }
}

void USetting::on_pbDeleteBook_clicked()
{
    const QString name = currentBook();
    if (name.isEmpty())
        return;
    if (isBookInUse(name)) {
        DMessageBox::information(this, tr("删除失败"), tr("账本正在被使用，您不能删除正在使用的账本"));
        return;
    }
    const int answer = DMessageBox::question(
        this, tr("确定删除?"),
        tr("您确定需要删除账本 %1 ? 账本删除后，属于此账本的所有数据将丢失，并且不能恢复！").arg(name));
    qCDebug(lcSettings) << answer;
    if (answer != 1)
        return;
    if (BookShelf::remove(name) == BookShelf::Result::Done) {
        DMessageBox::information(this, tr("删除成功"), tr("您已经成功删除账本！"));
        refreshBookList();
    } else {
        DMessageBox::information(this, tr("删除失败"), tr("删除账本失败，可能此账本文件已经被其他程序占用！"));
    }
}
