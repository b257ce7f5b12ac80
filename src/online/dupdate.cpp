#include "online/dupdate.h"

#include "ui_dupdate.h"

#include "data/constants.h"
#include "data/logcategories.h"
#include "data/shownaddress.h"
#include "online/httphelper.h"
#include "online/mversion.h"
#include "online/updatehelper.h"
#include "platform/installerlauncher.h"
#include "widgets/dmessagebox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QNetworkProxy>
#include <QStandardPaths>

namespace {
enum Page
{
    checkingPage,
    offerPage,
    downloadPage
};
const int accessDenied = 5;
const int lastShellFailure = 32;
// A server that stops sending for this long has given up.
const int inactivityTimeout = 60000;
} // namespace

DUpdate::DUpdate(QWidget* parent, MVersion* version) : DBaseDialog(parent), ui(new Ui::DUpdate), version(version)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("软件更新"));
    manager.setProxy(QNetworkProxy::NoProxy);
    // However the dialog is closed, the download goes with it.
    connect(this, &QDialog::finished, this, &DUpdate::cancelDownload);
    if (version) {
        ui->stackedWidget->setCurrentIndex(offerPage);
        ui->tbDescription->setText(version->description);
        return;
    }
    ui->stackedWidget->setCurrentIndex(checkingPage);
    auto* helper = new UpdateHelper(this, false);
    connect(helper, &UpdateHelper::versionChecked, this, &DUpdate::versionChecked);
    connect(helper, &UpdateHelper::checkFailed, this, &DUpdate::checkFailed);
    helper->checkVersion();
}

DUpdate::~DUpdate()
{
    cancelDownload();
    delete ui;
}

void DUpdate::versionChecked(MVersion* checked)
{
    const int own = Constants::getInstance()->getVersionCode();
    qCDebug(lcOnline) << "version codes: own" << own << "offered" << checked->vercode;
    if (own < checked->vercode) {
        version = checked;
        ui->stackedWidget->setCurrentIndex(offerPage);
        ui->tbDescription->setText(version->description);
        return;
    }
    showCheckResult(tr("已经是最新版本，无需更新！"));
}

void DUpdate::checkFailed(QString message)
{
    showCheckResult(message);
}

void DUpdate::showCheckResult(const QString& text)
{
    ui->lbChecklStatus->setText(text);
    ui->pbCancelOrOK->setText(tr("确定"));
}

void DUpdate::on_pbUpdate_clicked()
{
    ui->stackedWidget->setCurrentIndex(downloadPage);
    startlDownload();
}

void DUpdate::startlDownload()
{
    const QString url = attempt == 0 ? version->url1 : attempt == 1 ? version->url2 : QString();
    QNetworkRequest request{QUrl(url)};
    // Saved as received: with its own Accept-Encoding the body is not decoded on the way.
    HttpHelper::setBrowserHeaders(request, "deflate");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(inactivityTimeout);

    downloadFilePath =
        QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::TempLocation) + "/quillbay" +
                                 QDateTime::currentDateTimeUtc().toString("yyyyMMddhhmmss") + ".exe");
    qCDebug(lcOnline) << "download" << ShownAddress::of(url) << "to" << downloadFilePath;
    file.setFileName(downloadFilePath);
    refused = false;
    cancelled = false;
    reply = manager.get(request);
    connect(reply, &QNetworkReply::readyRead, this, &DUpdate::downloadReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DUpdate::downloadFinished);
    connect(reply, &QNetworkReply::downloadProgress, this, &DUpdate::downloadProgress);
    connect(reply, &QNetworkReply::errorOccurred, this, &DUpdate::downloadError);
    ui->lblDownloadStatus->setText(tr("正在下载新版Quillbay云记账软件，请稍候..."));
}

void DUpdate::retryDownload()
{
    ++attempt;
    startlDownload();
}

void DUpdate::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (cancelled)
        return;
    // An unknown total keeps the bar busy.
    ui->pbProgress->setMaximum(int(qBound<qint64>(0, bytesTotal, tooLarge)));
    ui->pbProgress->setValue(int(qMin(bytesReceived, tooLarge)));
}

void DUpdate::downloadError(QNetworkReply::NetworkError code)
{
    qCWarning(lcOnline) << "download error" << code;
}

void DUpdate::cancelDownload()
{
    cancelled = true;
    if (reply)
        reply->abort();
}

void DUpdate::downloadReadyRead()
{
    if (refused || !reply)
        return;
    // Written as it arrives, so a large download never sits in memory.
    const QByteArray bytes = reply->readAll();
    const bool opened = file.isOpen() || file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!opened || file.size() + bytes.size() > tooLarge || file.write(bytes) != bytes.size()) {
        qCWarning(lcOnline) << "download refused:" << (opened ? "too large or not written" : file.errorString());
        refused = true;
        reply->abort();
    }
}

void DUpdate::downloadFinished()
{
    if (!cancelled)
        downloadReadyRead();
    QNetworkReply* finished = reply;
    reply = nullptr;
    finished->deleteLater();
    file.close();
    if (cancelled) {
        file.remove();
        return;
    }
    if (!refused && finished->error() != QNetworkReply::NoError) {
        file.remove();
        if (attempt < 2) {
            retryDownload();
            return;
        }
        qCWarning(lcOnline) << finished->errorString();
        DMessageBox::information(this, tr("下载失败"), tr("下载文件时出现错误: %1").arg(finished->errorString()));
        return;
    }
    if (!isWholeInstaller(finished)) {
        file.remove();
        retryDownload();
        return;
    }
    launch();
}

bool DUpdate::isWholeInstaller(const QNetworkReply* finished) const
{
    const qint64 size = file.exists() ? file.size() : 0;
    const QVariant announced = finished->header(QNetworkRequest::ContentLengthHeader);
    qCDebug(lcOnline) << "downloaded" << size << "bytes of" << announced;
    return !refused && (!announced.isValid() || announced.toLongLong() == size) && size > tooSmall;
}

void DUpdate::launch()
{
    DMessageBox::information(this, tr("下载成功"), tr("下载成功，软件将自动重启并完成升级。"));
    const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    InstallerLauncher* launcher = InstallerLauncher::current();
    int result = launcher->shellExecute("open", downloadFilePath, folder);
    if (result == accessDenied)
        result = launcher->shellExecute("runas", downloadFilePath, folder);
    if (result <= lastShellFailure && !launcher->startDetached(downloadFilePath, folder))
        DMessageBox::information(
            this, tr("安装失败"),
            tr("安装新版本时出现错误，软件没有升级成功。您可以登陆Quillbay网站下载最新版本进行更新。"));
    launcher->endProgram();
    accept();
}

void DUpdate::on_pbCancel_clicked()
{
    reject();
}

void DUpdate::on_pbCancelOrOK_clicked()
{
    reject();
}

void DUpdate::on_pbCancel_2_clicked()
{
    reject();
}
