#pragma once

#include "widgets/dbasedialog.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

namespace Ui {
class DUpdate;
}
class MVersion;

// Offers a newer version, downloads its installer into the temporary folder (from the first address, then the
// second), starts it silently into the program's folder and ends the program. Opened without a version it asks
// the service first. Closing the dialog in any way abandons the download, so a closed dialog never installs.
class DUpdate : public DBaseDialog
{
    Q_OBJECT

public:
    // `version` may be null; it is not owned and must outlive the dialog.
    DUpdate(QWidget* parent, MVersion* version);
    ~DUpdate() override;

    // An installer of this size or less is a broken download.
    static constexpr qint64 tooSmall = 0x4FFFFF;
    // More than this is no installer of ours, and would only fill the disk.
    static constexpr qint64 tooLarge = qint64(1) << 30;

public slots:
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void downloadFinished();
    void downloadReadyRead();
    void downloadError(QNetworkReply::NetworkError code);
    void cancelDownload();
    void startlDownload();

private slots:
    void on_pbUpdate_clicked();
    void on_pbCancel_clicked();
    void versionChecked(MVersion* version);
    void checkFailed(QString message);
    void on_pbCancelOrOK_clicked();
    void on_pbCancel_2_clicked();

private:
    // The checking page's last word: the text, and a button that closes the dialog.
    void showCheckResult(const QString& text);
    void retryDownload();
    // Whether the finished download is a whole installer: no refusal, all the announced bytes, large enough.
    bool isWholeInstaller(const QNetworkReply* finished) const;
    void launch();

    Ui::DUpdate* ui;
    QNetworkAccessManager manager;
    QPointer<QNetworkReply> reply;
    bool cancelled = false;
    QString downloadFilePath;
    QFile file;
    // The download broke the size limit or could not be written.
    bool refused = false;
    MVersion* version;
    // 0 first address, 1 second address, 2 and more no address left.
    int attempt = 0;
};
