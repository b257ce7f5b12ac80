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
    const QCommandLineOption perAddress("connections-per-address",
                                        "Connections one client address may hold; a proxy in front of the service, "
                                        "or many devices behind one address, need more.",
                                        "count", "32");
    const QCommandLineOption idle("idle-timeout", "Seconds after which a connection that sends nothing is closed.",
                                  "seconds", "30");
    const QCommandLineOption feedbackPerAddress(
        "feedback-per-address", "Feedback messages accepted from one client address per hour.", "count", "20");
    const QCommandLineOption feedbackPerHour("feedback-per-hour", "Feedback messages accepted per hour in all.",
                                             "count", "500");
    const QCommandLineOption installer("installer",
                                       "Installer file offered for download. Without it the update check offers "
                                       "nothing newer.",
                                       "file");
    const QCommandLineOption offerVersion("offer-version", "Version code the update check offers with --installer.",
                                          "code", "44");
    const QCommandLineOption offerName("offer-name", "Version name the update check offers with --installer.", "name",
                                       "2.2");
    parser.addOptions({listen, port, publicUrl, data, database, addAccount, workers, perAddress, idle,
                       feedbackPerAddress, feedbackPerHour, installer, offerVersion, offerName});
    parser.process(app);

    ServiceOptions options;
    options.storeUrl =
        parser.isSet(database) ? parser.value(database) : "sqlite:" + QDir(parser.value(data)).filePath("service.db");
    if (parser.isSet(addAccount))
        options.newAccount = parser.value(addAccount);

    if (!options.listenAddress.setAddress(parser.value(listen))) {
        error = "--listen takes an IP address";
        return std::nullopt;
    }
    const auto portNumber = number(parser.value(port), 0, 65535);
    const auto workerCount = number(parser.value(workers), 1, 1024);
    const auto connections = number(parser.value(perAddress), 1, 1000000);
    const auto idleSeconds = number(parser.value(idle), 1, 86400);
    const auto perClient = number(parser.value(feedbackPerAddress), 0, 1000000);
    const auto perHour = number(parser.value(feedbackPerHour), 0, 1000000);
    const auto code = number(parser.value(offerVersion), 0, INT_MAX);
    if (!portNumber || !workerCount || !connections || !idleSeconds || !perClient || !perHour || !code) {
        error = "--port, --workers, --connections-per-address, --idle-timeout, --feedback-per-address, "
                "--feedback-per-hour and --offer-version take whole numbers in their range";
        return std::nullopt;
    }
    options.port = quint16(*portNumber);
    options.workers = *workerCount;
    options.connectionsPerAddress = *connections;
    options.idleSeconds = *idleSeconds;
    options.feedbackPerAddress = *perClient;
    options.feedbackPerHour = *perHour;
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
