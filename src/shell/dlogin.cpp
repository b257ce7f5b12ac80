#include "shell/dlogin.h"

#include "ui_dlogin.h"

#include "data/constants.h"
#include "data/filesetting.h"
#include "shell/bookpassword.h"
#include "widgets/dmessagebox.h"

#include <QDir>
#include <QTimer>

DLogin::DLogin(QWidget* parent, const QString& book) : DBaseDialog(parent), ui(new Ui::DLogin)
{
    ui->setupUi(this);
    ui->widget->setTitle(tr("登陆"));

    const QString folder = Constants::getInstance()->getDbDir();
    Constants::makeDir(folder);
    const QString wanted =
        book.isEmpty() ? FileSetting::getInstance()->getValue("Common/LastBook", "").toString() : book;
    {
        // Only the book finally selected is probed: an unreadable book that merely came first says nothing.
        const QSignalBlocker blocker(ui->cbDbList);
        const QFileInfoList files = QDir(folder, "*.db", QDir::Time, QDir::Files).entryInfoList();
        for (const QFileInfo& file : files)
            ui->cbDbList->addItem(file.fileName().chopped(3), file.fileName());
        // When no name matches, the newest book stays selected rather than none.
        const int index = ui->cbDbList->findData(wanted);
        if (index >= 0)
            ui->cbDbList->setCurrentIndex(index);
    }
    // Told once the dialog shows, so that the box stands over it.
    if (!readSelectedBook())
        QTimer::singleShot(0, this, &DLogin::showReadError);
}

DLogin::~DLogin()
{
    delete ui;
}

void DLogin::on_cbDbList_currentIndexChanged(int)
{
    if (!readSelectedBook())
        showReadError();
}

bool DLogin::readSelectedBook()
{
    // Each selection starts afresh, so a password read for another book can never let this one in.
    m_expectedPassword.clear();
    m_readable = false;
    m_readError.clear();
    ui->lePassword->setEnabled(false);
    const QString file = ui->cbDbList->currentData().toString();
    if (file.isEmpty())
        return true;
    const BookPassword stored = BookPassword::read(Constants::getInstance()->getDbDir() + file);
    if (!stored.isReadable()) {
        m_readError = stored.errorText();
        return false;
    }
    m_readable = true;
    m_expectedPassword = stored.password();
    ui->lePassword->setEnabled(!m_expectedPassword.isEmpty());
    // The password is all that is left to type.
    if (ui->lePassword->isEnabled())
        ui->lePassword->setFocus();
    return true;
}

void DLogin::on_pbOK_clicked()
{
    const QString file = ui->cbDbList->currentData().toString();
    if (file.isEmpty())
        return;
    if (!m_readable) {
        showReadError();
        return;
    }
    if (!m_expectedPassword.isEmpty() && ui->lePassword->text() != m_expectedPassword) {
        DMessageBox::information(this, tr("密码错误"), tr("您输入的密码有错误！"));
        return;
    }
    Constants::getInstance()->setBookName(file);
    accept();
}

void DLogin::on_pbCancel_clicked()
{
    reject();
}

void DLogin::showReadError()
{
    DMessageBox::information(this, tr("数据文件错误"), tr("打开数据文件出现错误。") + m_readError);
}
