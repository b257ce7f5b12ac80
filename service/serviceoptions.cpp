#include "serviceoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <climits>

namespace {
// The program refuses a download of 5,242,879 bytes or less as broken.
const qint64 smallestInstaller = 5242880;

QString httpUrl(const QString& host, quint16 port)
{
    QUrl url;
    url.setScheme("http");
    url.setHost(host);
    url.setPort(port);
    url.setPath("/");
    return url.toString();
}

// A whole number in [low, high] or nothing.
std::optional<int> number(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}
} // namespace

std::optional<ServiceOptions> ServiceOptions::parse(const QCoreApplication& app, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Quillbay's online service: accounts, sync, update check and feedback. It speaks "
                                     "plain HTTP: beyond a home network, put it behind a proxy that adds TLS.");
    parser.addHelpOption();
    const QCommandLineOption listen("listen", "Address to listen on (0.0.0.0: every IPv4 address of the computer).",
                                    "address", "127.0.0.1");
    const QCommandLineOption port("port", "Port to listen on (0: any free one).", "port", "8647");
    const QCommandLineOption publicUrl("public-url",
                                       "Base address that clients reach the service at, named in the update answer "
                                       "(default: built from --listen and --port).",
                                       "url");
    const QCommandLineOption data("data", "Folder of the service's store.", "dir",
                                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    const QCommandLineOption database(
        "database",
        "The store: sqlite:PATH (default: service.db in the --data folder) or "
        "postgresql://USER@HOST:PORT/DATABASE (its password best left to PGPASSWORD or ~/.pgpass).",
        "url");
    const QCommandLineOption addAccount("add-account",
                                        "Create an account with this name, its password read from the first line "
                                        "of standard input, and exit.",
                                        "name");
    const QCommandLineOption workers("workers", "Requests answered at once, each with its own database connection.",
                                     "count", QString::number(qMax(2, QThread::idealThreadCount())));
    const QCommandLineOption maxConnections(
        "max-connections",
        "Connections served at once; when all are taken, the one that has gone longest without progress, sending its "
        "request or taking its answer, is closed (default: the descriptor limit, raised to its hard limit, less a "
        "reserve for the store).",
        "count", "0");
    const QCommandLineOption perAddress("connections-per-address",
                                        "Connections one client address may hold (those of a trusted proxy count "
                                        "under the clients it names); many devices behind one address need more.",
                                        "count", "32");
    const QCommandLineOption waitingPerAddress(
        "waiting-per-address",
        "Requests of one client address that may wait for a worker at once; more are told the service is busy.",
        "count", "4");
    const QCommandLineOption cheapWorkers("cheap-workers",
                                          "Workers that first syncs and large uploads leave to logins and small syncs "
                                          "(default: 2 or a quarter of --workers, whichever is more; expensive "
                                          "requests always have one).",
                                          "count");
    const QCommandLineOption trustedProxy(
        "trusted-proxy",
        "Address of a proxy in front of the service (repeatable, for proxies in a row): a request from it counts as "
        "coming from the right-most address of X-Forwarded-For (or of Forwarded's for= without X-Forwarded-For) "
        "that is no trusted proxy. From any other address these headers are ignored.",
        "address");
    const QCommandLineOption idle("idle-timeout", "Seconds after which a connection that sends nothing is closed.",
                                  "seconds", "30");
    const QCommandLineOption head("head-timeout",
                                  "Seconds a request head may take from its first byte, however slowly it comes.",
                                  "seconds", "10");
    const QCommandLineOption writeStall("write-stall-timeout",
                                        "Seconds after which a connection whose client takes no byte of its answer "
                                        "is closed.",
                                        "seconds", "30");
    const QCommandLineOption answerSpool("answer-spool-limit",
                                         "Megabytes that large answers waiting for their clients may take in all, in "
                                         "the --data folder, with those of other processes that serve from it; a "
                                         "sync whose answer finds no room is told the service is busy.",
                                         "MB", "2048");
    const QCommandLineOption requestMemory(
        "request-memory",
        "Megabytes that requests being read may take in memory in all, their heads and bodies up to 1 MB; when it is "
        "taken, an address that holds the most gives way to one that holds less, and others wait.",
        "MB", "64");
    const QCommandLineOption answerReserve("answer-disk-reserve",
                                           "Megabytes that large answers waiting for their clients leave free on the "
                                           "disk of the --data folder, for the store (default: a tenth of the disk, "
                                           "at most 1024); a sync whose answer would take them is told the service "
                                           "is busy.",
                                           "MB");
    const QCommandLineOption largeRequests("large-requests", "Requests over 1 MB read and worked on at once.", "count",
                                           "2");
    const QCommandLineOption largeWait("large-request-wait",
                                       "Seconds a request over 1 MB waits for its turn before the service answers "
                                       "that it is busy.",
                                       "seconds", "60");
    const QCommandLineOption keyIterations("key-iterations",
                                           "PBKDF2 rounds of the password key of a new account, and of the stand-in "
                                           "key that refusing an unknown name costs.",
                                           "count", "10000");
    const QCommandLineOption loginFailures("login-failures-per-address",
                                           "Failed password checks one client address may make in 10 minutes; "
                                           "further ones are refused without checking.",
                                           "count", "10");
    const QCommandLineOption signupsPerAddress("signups-per-address", "Sign-ups from one client address per hour.",
                                               "count", "10");
    const QCommandLineOption signupsPerHour("signups-per-hour", "Sign-ups per hour in all.", "count", "100");
    const QCommandLineOption feedbackPerAddress(
        "feedback-per-address", "Feedback messages accepted from one client address per hour.", "count", "20");
    const QCommandLineOption feedbackPerHour("feedback-per-hour", "Feedback messages accepted per hour in all.",
                                             "count", "500");
    const QCommandLineOption feedbackStore(
        "feedback-store-limit", "Kilobytes of feedback kept in all; beyond it new feedback is refused.", "KB", "65536");
    const QCommandLineOption installer("installer",
                                       "Installer file offered for download. Without it the update check offers "
                                       "nothing newer.",
                                       "file");
    const QCommandLineOption offerVersion("offer-version", "Version code the update check offers with --installer.",
                                          "code", "44");
    const QCommandLineOption offerName("offer-name", "Version name the update check offers with --installer.", "name",
                                       "2.2");
    parser.addOptions({listen,
                       port,
                       publicUrl,
                       data,
                       database,
                       addAccount,
                       workers,
                       maxConnections,
                       perAddress,
                       waitingPerAddress,
                       cheapWorkers,
                       trustedProxy,
                       idle,
                       head,
                       writeStall,
                       answerSpool,
                       requestMemory,
                       answerReserve,
                       largeRequests,
                       largeWait,
                       keyIterations,
                       loginFailures,
                       signupsPerAddress,
                       signupsPerHour,
                       feedbackPerAddress,
                       feedbackPerHour,
                       feedbackStore,
                       installer,
                       offerVersion,
                       offerName});
    parser.process(app);

    ServiceOptions options;
    options.dataFolder = parser.value(data);
    options.storeUrl =
        parser.isSet(database) ? parser.value(database) : "sqlite:" + QDir(options.dataFolder).filePath("service.db");
    if (parser.isSet(addAccount))
        options.newAccount = parser.value(addAccount);

    if (!options.listenAddress.setAddress(parser.value(listen))) {
        error = "--listen takes an IP address";
        return std::nullopt;
    }
    for (const QString& proxy : parser.values(trustedProxy)) {
        if (!options.trustedProxies.emplace_back().setAddress(proxy)) {
            error = "--trusted-proxy takes an IP address";
            return std::nullopt;
        }
    }
    const auto portNumber = number(parser.value(port), 0, 65535);
    const auto code = number(parser.value(offerVersion), 0, INT_MAX);
    const std::pair<const QCommandLineOption*, int*> counts[] = {
        {&workers, &options.workers},
        {&maxConnections, &options.maxConnections},
        {&perAddress, &options.connectionsPerAddress},
        {&waitingPerAddress, &options.waitingPerAddress},
        {&idle, &options.idleSeconds},
        {&head, &options.headSeconds},
        {&writeStall, &options.writeStallSeconds},
        {&largeRequests, &options.largeRequests},
        {&largeWait, &options.largeWaitSeconds},
        {&keyIterations, &options.keyIterations},
        {&loginFailures, &options.loginFailuresPerAddress},
        {&signupsPerAddress, &options.signupsPerAddress},
        {&signupsPerHour, &options.signupsPerHour},
        {&feedbackPerAddress, &options.feedbackPerAddress},
        {&feedbackPerHour, &options.feedbackPerHour},
    };
    // Counts that must allow something: workers, the connection and waiting caps, times, turns, rounds and failures.
    const QList<const QCommandLineOption*> atLeastOne{&workers,       &perAddress,   &waitingPerAddress, &idle,
                                                      &head,          &writeStall,   &largeRequests,     &largeWait,
                                                      &keyIterations, &loginFailures};
    QStringList unusable;
    for (const auto& [option, value] : counts) {
        const auto parsed = number(parser.value(*option), atLeastOne.contains(option) ? 1 : 0, 100000000);
        if (parsed)
            *value = *parsed;
        else
            unusable << "--" + option->names().constFirst();
    }
    const auto feedbackKilobytes = number(parser.value(feedbackStore), 0, INT_MAX);
    const auto spoolMegabytes = number(parser.value(answerSpool), 0, INT_MAX);
    const auto requestMegabytes = number(parser.value(requestMemory), 1, 1024 * 1024);
    const auto reserveMegabytes = number(parser.value(answerReserve), 0, INT_MAX);
    const auto cheap = number(parser.value(cheapWorkers), 0, INT_MAX);
    for (const auto& [option, valid] :
         {std::pair(&feedbackStore, bool(feedbackKilobytes)), std::pair(&answerSpool, bool(spoolMegabytes)),
          std::pair(&answerReserve, !parser.isSet(answerReserve) || reserveMegabytes),
          std::pair(&cheapWorkers, !parser.isSet(cheapWorkers) || cheap),
          std::pair(&requestMemory, bool(requestMegabytes)), std::pair(&port, bool(portNumber)),
          std::pair(&offerVersion, bool(code))})
        if (!valid)
            unusable << "--" + option->names().constFirst();
    if (!unusable.isEmpty()) {
        error = unusable.join(", ") + ": each takes a whole number in its range";
        return std::nullopt;
    }
    options.port = quint16(*portNumber);
    options.feedbackStoreBytes = qint64(*feedbackKilobytes) * 1024;
    options.answerSpoolBytes = qint64(*spoolMegabytes) * 1024 * 1024;
    options.requestMemoryBytes = qint64(*requestMegabytes) * 1024 * 1024;
    if (parser.isSet(answerReserve))
        options.answerDiskReserveBytes = qint64(*reserveMegabytes) * 1024 * 1024;
    if (parser.isSet(cheapWorkers))
        options.cheapWorkers = *cheap;
    options.offeredCode = *code;
    options.offeredName = parser.value(offerName);

    if (parser.isSet(publicUrl)) {
        QString url = parser.value(publicUrl);
        if (!url.endsWith('/'))
            url += '/';
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid() || (parsed.scheme() != "http" && parsed.scheme() != "https") || parsed.host().isEmpty()) {
            error = "--public-url takes an http or https address";
            return std::nullopt;
        }
        options.publicUrl = url;
    }

    if (parser.isSet(installer)) {
        const QFileInfo file(parser.value(installer));
        if (!file.isFile() || !file.isReadable() || file.size() < smallestInstaller) {
            error = "--installer takes a readable file of at least 5 MB, which the program accepts as an installer";
            return std::nullopt;
        }
        options.installer = file.absoluteFilePath();
    }
    return options;
}

QString ServiceOptions::listenUrl(quint16 listeningPort) const
{
    return httpUrl(listenAddress.toString(), listeningPort);
}

QString ServiceOptions::baseUrl(quint16 listeningPort) const
{
    if (!publicUrl.isEmpty())
        return publicUrl;
    // Listening on every address names no address a client could use: the computer's name is the best guess.
    const bool everyAddress = listenAddress == QHostAddress::AnyIPv4 || listenAddress == QHostAddress::AnyIPv6;
    return everyAddress ? httpUrl(QHostInfo::localHostName(), listeningPort) : listenUrl(listeningPort);
}
