#pragma once

#include <QByteArrayList>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

// How the service was asked to run, from its command line.
struct ServiceOptions
{
    // The fewest connections served at once, whatever the descriptor limit or --max-connections: one device syncs,
    // checks for an update and sends feedback on connections of their own, and a household has a few devices. With
    // fewer places each would close another's connection to be read, and requests sent at once would fail.
    static constexpr int fewestConnections = 16;

    // The folder of the service's files: its SQLite store by default, and answers waiting for slow clients.
    QString dataFolder;
    QString storeUrl;
    // How long a statement on a PostgreSQL store waits for the server to take or send a byte.
    std::chrono::seconds storeTimeout{0};
    // The name of an account to create, its password read from standard input, before exiting.
    std::optional<QString> newAccount;

    QHostAddress listenAddress;
    quint16 port = 0;
    // The base address the update answer names, ending in "/"; empty to build it from the address listened on.
    QString publicUrl;
    int workers = 0;
    // Connections served at once, fewer when the descriptor limit leaves room for fewer.
    int maxConnections = 0;
    // Whether the operator asked for that many, rather than taking the default.
    bool maxConnectionsGiven = false;
    int connectionsPerAddress = 0;
    int waitingPerAddress = 0;
    // Workers kept for cheap requests as given, at most the workers less one; nothing for the default.
    std::optional<int> cheapWorkers;
    // Peers whose X-Forwarded-For or Forwarded header names the client.
    QList<QHostAddress> trustedProxies;
    int idleSeconds = 0;
    int headSeconds = 0;
    int writeStallSeconds = 0;
    // What answers waiting for their clients may take on disk in all.
    qint64 answerSpoolBytes = 0;
    // What heads and bodies up to 1 MB may take in memory in all, and what of it is kept for heads and bodies up to
    // 256 KB as given; nothing for the default.
    qint64 requestMemoryBytes = 0;
    std::optional<qint64> smallRequestMemoryBytes;
    // What those answers leave free on their disk for the store; nothing for the spool's own default.
    std::optional<qint64> answerDiskReserveBytes;
    int largeRequests = 0;
    int largeWaitSeconds = 0;
    int keyIterations = 0;
    int loginFailuresPerAddress = 0;
    int signupsPerAddress = 0;
    int signupsPerHour = 0;
    int feedbackPerAddress = 0;
    int feedbackPerHour = 0;
    qint64 feedbackStoreBytes = 0;

    // The installer offered for download, a checked file; empty when the service offers no update.
    QString installer;
    int offeredCode = 0;
    QString offeredName;

    // The options of the command line, its arguments' bytes as the process was given them; nothing, with the reason
    // in `error`, when an option's value is unusable.
    static std::optional<ServiceOptions> parse(const QByteArrayList& arguments, QString& error);
    // The folder of answers waiting for their clients, in the folder of the service's files.
    static QString answersFolderIn(const QString& dataFolder);
    // Workers kept for cheap requests: as given, or 2 or a quarter of the workers, whichever is more, as far as the
    // workers less one go.
    int cheapWorkerCount() const;
    // The request memory kept for heads and bodies up to 256 KB: as given, or an eighth of the request memory as far
    // as it leaves a body of 1 MB room.
    qint64 smallRequestMemory() const;
    // "http://ADDRESS:PORT/" of the address listened on.
    QString listenUrl(quint16 listeningPort) const;
    // The base address clients reach the service at, as the update answer names it.
    QString baseUrl(quint16 listeningPort) const;
};
