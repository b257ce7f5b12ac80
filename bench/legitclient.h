#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// How the owner syncs: as a device that synced before, or as a new one whose every sync is a first; and how large
// its one record's upload is (0: a short title).
struct OwnerSyncs
{
    bool firstSyncs = false;
    int uploadBytes = 0;
};

// An account's owner syncing as usual from 127.0.0.1 while an attack goes on: every 0.2 s a login and a sync of one
// record, each given 5 s, naming the start of its last sync as the program does (none at first), or never naming one.
// Meant to live on a thread of its own, so that the attack's own work never delays it.
class LegitClient : public QObject
{
    Q_OBJECT

public:
    LegitClient(const QString& baseUrl, const QString& account, const QString& password, const OwnerSyncs& how = {});

    // Both run on the client's thread.
    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();

    // Read once stopped.
    int requests() const { return int(m_latencies.size()) + m_failures; }
    int failures() const { return m_failures; }
    // Answers that told it to try again later, among the failures.
    int refused() const { return m_refused; }
    // The error answers among the failures, by kind (AnswerKind): "busy", "store failed", "error 1".
    const QMap<QString, int>& errors() const { return m_errors; }
    double p50Ms() const;
    double p99Ms() const;

private:
    void login();
    void sync();
    void synced();
    void post(const QString& path, const QList<QPair<QString, QString>>& form, bool (*accepted)(const QByteArray&),
              void (LegitClient::*next)());
    void pause();

    QString m_baseUrl;
    QString m_account;
    QString m_password;
    OwnerSyncs m_how;
    QNetworkAccessManager* m_network = nullptr;
    QElapsedTimer m_cycle;
    bool m_stopped = false;
    int m_failures = 0;
    int m_refused = 0;
    QMap<QString, int> m_errors;
    int m_edits = 0;
    // The start of the last sync the service answered, in the program's form, and of the one under way.
    QString m_syncTime = "2008-08-08 08:08:08";
    QString m_syncStart;
    bool m_accepted = false;
    QList<double> m_latencies;
};
