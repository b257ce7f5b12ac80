#include "online/dfeedback.h"

#include "ui_dfeedback.h"

#include "data/constants.h"
#include "data/filesetting.h"
#include "data/logcategories.h"
#include "online/httphelper.h"
#include "widgets/dmessagebox.h"

#include <QRegularExpression>

namespace {
const int shortestMessage = 20;
}

DFeedback::DFeedback(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DFeedback)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("留言反馈"));
    // Only the first field is filled in, so that the address is confirmed every time.
    const QString email = FileSetting::getInstance()->getValue("Feedback/Email", "").toString();
    if (!email.isEmpty())
        ui->leEmail->setText(email);
}

DFeedback::~DFeedback()
{
    delete ui;
}

void DFeedback::on_pbOK_clicked()
{
    const QString email = ui->leEmail->text();
    if (email != ui->leEmail2->text()) {
        DMessageBox::error(this, tr("您两次输入的邮箱不一致，请确认。"));
        return;
    }
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,4}\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (!pattern.match(email).hasMatch()) {
        DMessageBox::error(this, tr("请输入有效的邮箱地址"));
        return;
    }
    FileSetting::getInstance()->setValue("Feedback/Email", email);
    const QString content = ui->pteContent->toPlainText();
    if (content.size() < shortestMessage) {
        DMessageBox::error(this, tr("反馈内容太短了，请详细说明您的问题。"));
        return;
    }
    if (const QString problem = Constants::getInstance()->getServiceUrlProblem(); !problem.isEmpty()) {
        DMessageBox::error(this, problem);
        return;
    }
    auto* http = new HttpHelper(this);
    connect(http, &HttpHelper::finished, this, &DFeedback::feedbackSent);
    connect(http, &HttpHelper::error, this, &DFeedback::sendError);
    http->post(Constants::getInstance()->getBaseUrl() + "client/feedback.php",
               {{"email", email}, {"subject", tr("FNK PC 反馈") + email}, {"content", content}});
    ui->pbOK->setText(tr("正在发送中......"));
    ui->pbOK->setEnabled(false);
}

void DFeedback::feedbackSent(QString html)
{
    qCDebug(lcOnline) << "feedback answer:" << html.size() << "characters";
    if (!html.contains("success")) {
        showFailure();
        return;
    }
    DMessageBox::error(this, tr("已经将您的反馈信息成功发送给开发者。"));
    close();
}

void DFeedback::sendError()
{
    showFailure();
}

void DFeedback::showFailure()
{
    DMessageBox::error(this, tr("发送过程出现错误，请重试。"));
    ui->pbOK->setEnabled(true);
    ui->pbOK->setText(tr("确定"));
}

void DFeedback::on_pbCancel_clicked()
{
    close();
}
