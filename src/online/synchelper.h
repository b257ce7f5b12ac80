#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class HttpHelper;

// The engine that synchronises the open book with the user's online account: it binds a new book to the
// account, sends the changes since the last sync and merges the service's answer. One sync at a time; its
// end is exactly one syncFinished() or syncError().
class SyncHelper : public QObject
{
    Q_OBJECT

public:
    static SyncHelper* getInstance();

    // Starts a sync and returns at once; false, with no signal, when a sync is running already (its end
    // signal ends the caller's wait as well).
    bool sync();
    bool isRunning() const;

public slots:
    void downloadHtml(QString html);
    void downloadTokenHtml(QString html);
    void downloadError();

signals:
    void syncLog(QString message);
    void syncProgress(float percent);
    void syncError(int code, QString message);
    void syncStarted();
    void syncFinished();

private:
    explicit SyncHelper(QObject* parent = nullptr);
    void requestUserId();
    void upload();
    // A new client for the next request, whose answer goes to the slot; earlier clients are let go.
    HttpHelper* newClient(void (SyncHelper::*answer)(QString));
    // Whether the signal comes from the current request of a running sync; late answers of a request that
    // has been given up are dropped.
    bool isCurrentAnswer() const;
    void handleErrorAnswer(const QString& html);
    void finish();
    void fail(int code, const QString& message);
    static QDateTime readLastSyncTime();

    QDateTime lastSyncTime;
    QStringList tables;
    QPointer<HttpHelper> client;
    QDateTime startTime;
    // The latest entry of the journal of pending changes that the upload of this sync carried.
    qint64 m_pendingSent = 0;
    bool m_running = false;
};
