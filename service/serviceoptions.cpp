#include "serviceoptions.h"

#include "accountregistry.h"
#include "online/httphelper.h"
#include "ownerfolder.h"
#include "storeaddress.h"
#include "terminaltext.h"
#include "threadprobe.h"
#include "transferrules.h"
#include "utf8bytes.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <climits>
#include <functional>
#include <vector>

namespace {
// The program refuses a download of 5,242,879 bytes or less as broken.
const qint64 smallestInstaller = 5242880;
const qint64 kilobyte = 1024;
const qint64 megabyte = 1024 * 1024;
const qint64 largestCount = 100000000;
// Each worker is a thread with a store connection of its own: far more than any computer's processors gain nothing,
// and trying to start them all would take the system's table of threads from everyone else.
const int mostWorkers = 1024;
// Threads the service starts beside the workers: the one that tells when an address held from logins may try again,
// and the one that waits for the workers at the stop.
const int threadsBesideWorkers = 2;
// The largest body read into memory, in whole megabytes: with less, such a request would never find room. Its head's
// room becomes part of the body's, so the head needs none besides.
const qint64 smallestRequestMemory = (TransferRules::largeBody + megabyte - 1) / megabyte;
// The seconds the program waits for an answer before it gives up on it as a broken connection: a request the service
// cannot serve sooner is told it is busy before then, and the program says so.
const int programWait = HttpHelper::defaultTimeout / 1000;

// Takes an option's value into the options; what is wrong with the value, or nothing when it is taken.
using Check = std::function<QString(const QString& value, ServiceOptions& options)>;
// What is wrong with the bytes of a value as the operator gave them, before they are read as text; nothing when they
// may be.
using BytesCheck = QString (*)(QByteArrayView value);

// Text reads its bytes as UTF-8: any others would become U+FFFD, and a path or a name other than the one given.
QString utf8Value(QByteArrayView value)
{
    return Utf8Bytes::isValid(value) ? QString()
                                     : "must be UTF-8 text: each byte shown as \\x80 to \\xff is no part of a UTF-8 "
                                       "character";
}

// A row of the command line: the option's name, what its help calls its value, its help, the value taken when it is
// not given (empty: it is left out), the check that takes the value, and the one of its bytes before.
struct Option
{
    QString name;
    QString value;
    QString help;
    QString byDefault;
    Check check;
    BytesCheck bytesCheck = utf8Value;
};

QString httpUrl(const QString& host, quint16 port)
{
    QUrl url;
    url.setScheme("http");
    url.setHost(host);
    url.setPort(port);
    url.setPath("/");
    return url.toString();
}

// A whole number from `low` to `high`, kept as that many `unit`s; `why` tells what bounds it below, if anything does.
template <class Field>
Check wholeNumber(Field ServiceOptions::*field, qint64 low, qint64 high, qint64 unit = 1, const QString& why = {})
{
    return [=](const QString& text, ServiceOptions& options) {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (!ok || value < low || value > high)
            return QString("takes a whole number from %1 to %2").arg(low).arg(high) + (why.isEmpty() ? "" : ": " + why);
        options.*field = Field(value * unit);
        return QString();
    };
}

// A count of something that must allow one at least (workers, caps, times, turns, rounds, failures) or none at all.
Check count(int ServiceOptions::*field, int low = 1, qint64 high = largestCount)
{
    return wholeNumber(field, low, high);
}

// As many workers as there may be and the system can start at once.
QString workers(const QString& value, ServiceOptions& options)
{
    if (const QString refusal = count(&ServiceOptions::workers, 1, mostWorkers)(value, options); !refusal.isEmpty())
        return refusal;
    const int needed = options.workers + threadsBesideWorkers;
    const int started = ThreadProbe::startable(needed);
    if (started >= needed)
        return QString();
    const QString why =
        QString("needs %1 threads, and the system lets the service start %2 now").arg(needed).arg(started);
    const int most = started - threadsBesideWorkers;
    return most < 1 ? why + ": too few for a worker"
                    : why + QString(": it takes a whole number from 1 to %1").arg(most);
}

// Workers kept for cheap requests, as far as the workers less one go: expensive requests always have a worker.
// --workers comes before this option in the command line's list, so that its value is taken here.
QString cheapWorkers(const QString& value, ServiceOptions& options)
{
    // A refused --workers leaves its largest as the bound.
    const int workers = options.workers > 0 ? options.workers : mostWorkers;
    return wholeNumber(&ServiceOptions::cheapWorkers, 0, workers - 1, 1,
                       "one less than --workers, as expensive requests always have a worker")(value, options);
}

// Request memory kept for small requests, as far as it leaves a body of 1 MB room. --request-memory comes before this
// option in the command line's list, so that its value is taken here.
QString smallRequestRoom(const QString& value, ServiceOptions& options)
{
    // A refused --request-memory leaves its largest as the bound.
    const qint64 total = options.requestMemoryBytes > 0 ? options.requestMemoryBytes / megabyte : megabyte;
    return wholeNumber(&ServiceOptions::smallRequestMemoryBytes, 0, total - smallestRequestMemory, megabyte,
                       "one less than --request-memory, as a body of 1 MB must still find room")(value, options);
}

// The bytes of an account's name, refused as the sign-up page refuses them.
QString accountNameBytes(QByteArrayView value)
{
    return AccountRegistry::encodingRefusal(value, AccountRegistry::Reader::Operator);
}

// The name of an account to create, refused as the sign-up page refuses it, before the store is opened.
QString accountName(const QString& value, ServiceOptions& options)
{
    if (const QString refusal = AccountRegistry::nameRefusal(value, AccountRegistry::Reader::Operator);
        !refusal.isEmpty())
        return refusal;
    options.newAccount = value;
    return QString();
}

// The folder of the service's files, checked before anything is made in it, with the folder of answers that the
// service makes there and an earlier start may have left.
QString dataFolder(const QString& value, ServiceOptions& options)
{
    QString obstacle = OwnerFolder::obstacle(value);
    if (obstacle.isEmpty())
        obstacle = OwnerFolder::obstacle(ServiceOptions::answersFolderIn(value));
    if (!obstacle.isEmpty())
        return "takes a folder the service can write in or make: " + obstacle;
    options.dataFolder = value;
    return QString();
}

// The store's address, checked before anything is made for it. An empty one, as an unset variable gives, is refused
// as an empty --data is: taken as the default, it would move the service onto a new store in --data.
QString storeUrl(const QString& value, ServiceOptions& options)
{
    if (value.isEmpty())
        return StoreAddress::refusal(value) + ": an empty address names no store (without --database the store is "
                                              "service.db in --data)";
    if (const QString refusal = StoreAddress::refusal(value); !refusal.isEmpty())
        return refusal;
    options.storeUrl = value;
    return QString();
}

// Any text, kept as given.
template <class Field> Check text(Field ServiceOptions::*field)
{
    return [field](const QString& value, ServiceOptions& options) {
        options.*field = Field(value);
        return QString();
    };
}

QString ipAddress(QHostAddress& address, const QString& value)
{
    return address.setAddress(value) ? QString() : "takes an IP address";
}

QString publicUrl(const QString& value, ServiceOptions& options)
{
    const QString url = value.endsWith('/') ? value : value + '/';
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || (parsed.scheme() != "http" && parsed.scheme() != "https") || parsed.host().isEmpty())
        return "takes an http or https address";
    options.publicUrl = url;
    return QString();
}

QString installer(const QString& value, ServiceOptions& options)
{
    const QFileInfo file(value);
    if (!file.isFile() || !file.isReadable() || file.size() < smallestInstaller)
        return "takes a readable file of at least 5 MB, which the program accepts as an installer";
    options.installer = file.absoluteFilePath();
    return QString();
}

// The operator's option and value, and why the value cannot be used: the value's bytes as given, so that of an
// option given twice the one refused is told, on one line whatever it holds.
QString refused(const QString& name, QByteArrayView value, const QString& why)
{
    return QString("--%1 %2: %3").arg(name, TerminalText::quotedBytes(value), why);
}

// The bytes the operator gave for the option's value, "--NAME VALUE" or "--NAME=VALUE", which the parser has as text.
QByteArray givenBytes(const QByteArrayList& arguments, const QString& name, const QString& value)
{
    const QString option = "--" + name;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString argument = QString::fromUtf8(arguments.at(i));
        if (argument == value && QString::fromUtf8(arguments.at(i - 1)) == option)
            return arguments.at(i);
        if (argument == option + '=' + value)
            return arguments.at(i).mid(option.toUtf8().size() + 1);
    }
    return value.toUtf8();
}

// Every option, in the order the help lists them.
std::vector<Option> commandLine()
{
    using O = ServiceOptions;
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString processorThreads = QString::number(qMax(2, QThread::idealThreadCount()));
    return {
        {"listen", "address", "Address to listen on (0.0.0.0: every IPv4 address of the computer).", "127.0.0.1",
         [](const QString& value, O& options) { return ipAddress(options.listenAddress, value); }},
        {"port", "port", "Port to listen on (0: any free one).", "8647", wholeNumber(&O::port, 0, 65535)},
        {"public-url", "url",
         "Base address that clients reach the service at, named in the update answer. Default: built from --listen "
         "and --port.",
         "", publicUrl},
        {"data", "dir", "Folder of the service's store.", appData, dataFolder},
        {"database", "url",
         "The store: sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE (its password best left to PGPASSWORD or "
         "~/.pgpass), with ?pool_mode=transaction behind a pooler that hands out the database's server connections a "
         "transaction at a time. Default: service.db in the --data folder.",
         "", storeUrl},
        {"store-timeout", "seconds",
         QString(
             "Seconds a statement on a PostgreSQL store waits for the server to take or send a byte before its "
             "connection is given up, the request failing as store work that failed, and the next opening another "
             "connection; a connection is made within that time too, and the kernel's keepalives give up a server "
             "it finds gone in about as long. At most %1, less than the %2 seconds the program waits for an answer.")
             .arg(programWait - 1)
             .arg(programWait),
         QString::number(StoreAddress::serverWait.count()),
         wholeNumber(&O::storeTimeout, 1, programWait - 1, 1,
                     QString("less than the %1 seconds the program waits for an answer").arg(programWait))},
        {"add-account", "name",
         "Create an account with this name (1 to 64 characters, no blank at either end, no control character), its "
         "password read from the first line of standard input, and exit. Default: none, the service serves.",
         "", accountName, accountNameBytes},
        {"workers", "count",
         "Requests answered at once, each on a thread with its own database connection: at most 1024, and no more "
         "than the system lets the service start (its limit of processes, ulimit -u, counts them); the computer's "
         "processor threads by default, 2 at least.",
         processorThreads, workers},
        {"max-connections", "count",
         "Connections served at once, at most as many as the descriptor limit, raised to its hard limit, leaves room "
         "for beside a reserve for the store, 16 at the least, as the log says at start; when all are taken, the "
         "one that has gone longest without progress, sending its request or taking its answer, is closed. Each open "
         "connection takes about 4.5 KB of memory of its own: the 40000 of the default, about 180 MB.",
         "40000", count(&O::maxConnections, ServiceOptions::fewestConnections)},
        {"connections-per-address", "count",
         "Connections one client address may hold (those of a trusted proxy count under the clients it names); many "
         "devices behind one address need more.",
         "32", count(&O::connectionsPerAddress)},
        {"waiting-per-address", "count",
         "Requests of one client address that may wait for a worker at once; more are told the service is busy.", "4",
         count(&O::waitingPerAddress)},
        {"cheap-workers", "count",
         "Workers that syncs moving many records and large uploads leave to logins and small syncs, at most "
         "--workers less one: expensive requests always have one. Default: 2 or a quarter of --workers, whichever is "
         "more, as far as --workers less one goes.",
         "", cheapWorkers},
        {"trusted-proxy", "address",
         "Address of a proxy in front of the service (repeatable, for proxies in a row): a request from it counts as "
         "coming from the right-most address of X-Forwarded-For (or of Forwarded's for= without X-Forwarded-For) "
         "that is no trusted proxy. From any other address these headers are ignored. Default: none.",
         "", [](const QString& value, O& options) { return ipAddress(options.trustedProxies.emplace_back(), value); }},
        {"idle-timeout", "seconds", "Seconds after which a connection that sends nothing is closed.", "30",
         count(&O::idleSeconds)},
        {"head-timeout", "seconds", "Seconds a request head may take from its first byte, however slowly it comes.",
         "10", count(&O::headSeconds)},
        {"write-stall-timeout", "seconds",
         "Seconds after which a connection whose client takes no byte of its answer is closed.", "30",
         count(&O::writeStallSeconds)},
        {"answer-spool-limit", "MB",
         "Megabytes that large answers waiting for their clients may take in all, in the --data folder, with those "
         "of other processes that serve from it; a sync whose answer finds no room is told the service is busy.",
         "2048", wholeNumber(&O::answerSpoolBytes, 0, INT_MAX, megabyte)},
        {"request-memory", "MB",
         "Megabytes that requests being read may take in memory in all, their heads and bodies up to 1 MB, a body "
         "its declared length before it is read; when it is taken, a request waits for room, the address that will "
         "hold least first, and a connection that has sent nothing lately gives way.",
         "64",
         wholeNumber(&O::requestMemoryBytes, smallestRequestMemory, megabyte, megabyte,
                     "a body of 1 MB is read into memory with its head")},
        {"small-request-memory", "MB",
         "Megabytes of --request-memory kept for heads and bodies up to 256 KB (logins, sign-ups, feedback, small "
         "syncs), which larger bodies never take: these are read at once however many larger ones hold the rest. At "
         "most --request-memory less 1. Default: an eighth of --request-memory, as far as --request-memory less 1 "
         "goes.",
         "", smallRequestRoom},
        {"answer-disk-reserve", "MB",
         "Megabytes that large answers waiting for their clients leave free on the disk of the --data folder, for the "
         "store; a sync whose answer would take them is told the service is busy. Default: a tenth of the disk, at "
         "most 1024.",
         "", wholeNumber(&O::answerDiskReserveBytes, 0, INT_MAX, megabyte)},
        {"large-requests", "count", "Requests over 1 MB read and worked on at once.", "2", count(&O::largeRequests)},
        {"large-request-wait", "seconds",
         QString("Seconds a request waits for room in memory, or one over 1 MB for its turn, before the service "
                 "answers that it is busy: %1 at most, less than the %2 seconds the program waits for an answer.")
             .arg(programWait - 1)
             .arg(programWait),
         "45",
         wholeNumber(&O::largeWaitSeconds, 1, programWait - 1, 1,
                     QString("less than the %1 seconds the program waits for an answer").arg(programWait))},
        {"key-iterations", "count",
         "PBKDF2 rounds of the password key of a new account, and of the stand-in key that refusing an unknown name "
         "costs.",
         "10000", count(&O::keyIterations)},
        {"login-failures-per-address", "count",
         "Failed password checks one client address may make in 10 minutes; further ones are refused without "
         "checking.",
         "10", count(&O::loginFailuresPerAddress)},
        {"signups-per-address", "count", "Sign-ups from one client address per hour.", "10",
         count(&O::signupsPerAddress, 0)},
        {"signups-per-hour", "count", "Sign-ups per hour in all.", "100", count(&O::signupsPerHour, 0)},
        {"feedback-per-address", "count", "Feedback messages accepted from one client address per hour.", "20",
         count(&O::feedbackPerAddress, 0)},
        {"feedback-per-hour", "count", "Feedback messages accepted per hour in all.", "500",
         count(&O::feedbackPerHour, 0)},
        {"feedback-store-limit", "KB", "Kilobytes of feedback kept in all; beyond it new feedback is refused.", "65536",
         wholeNumber(&O::feedbackStoreBytes, 0, INT_MAX, kilobyte)},
        {"installer", "file",
         "Installer file offered for download. Default: none, and the update check offers nothing newer.", "",
         installer},
        {"offer-version", "code", "Version code the update check offers with --installer.", "44",
         wholeNumber(&O::offeredCode, 0, INT_MAX)},
        {"offer-name", "name", "Version name the update check offers with --installer.", "2.2", text(&O::offeredName)},
    };
}
} // namespace

std::optional<ServiceOptions> ServiceOptions::parse(const QByteArrayList& arguments, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Quillbay's online service: accounts, sync, update check and feedback. It speaks "
                                     "plain HTTP: beyond a home network, put it behind a proxy that adds TLS.");
    parser.addHelpOption();
    const std::vector<Option> options = commandLine();
    for (const Option& option : options) {
        // An option without a value of its own by default says in its help what it does then.
        const QString help =
            option.byDefault.isEmpty() ? option.help : option.help + " Default: " + option.byDefault + ".";
        parser.addOption(QCommandLineOption(option.name, help, option.value, option.byDefault));
    }
    QStringList texts;
    for (const QByteArray& argument : arguments)
        texts << QString::fromUtf8(argument);
    parser.process(texts);

    ServiceOptions taken;
    QStringList refusals;
    for (const Option& option : options) {
        // The value given, each of a repeated option's, or the default.
        for (const QString& value : parser.values(option.name)) {
            const QByteArray bytes = givenBytes(arguments, option.name, value);
            QString refusal = option.bytesCheck(bytes);
            if (refusal.isEmpty())
                refusal = option.check(value, taken);
            if (!refusal.isEmpty())
                refusals << refused(option.name, bytes, refusal);
        }
    }
    if (!refusals.isEmpty()) {
        error = refusals.join('\n');
        return std::nullopt;
    }
    taken.maxConnectionsGiven = parser.isSet("max-connections");
    if (taken.storeUrl.isEmpty()) {
        const QString store = QDir(taken.dataFolder).filePath("service.db");
        if (const QString obstacle = StoreAddress::fileObstacle(store); !obstacle.isEmpty()) {
            error = refused("data", taken.dataFolder.toUtf8(),
                            "takes a folder whose service.db is a store of the service's, an empty file or none: " +
                                obstacle);
            return std::nullopt;
        }
        taken.storeUrl = "sqlite:" + store;
    }
    return taken;
}

QString ServiceOptions::answersFolderIn(const QString& dataFolder)
{
    return QDir(dataFolder).filePath("answers");
}

int ServiceOptions::cheapWorkerCount() const
{
    return cheapWorkers.value_or(std::min(std::max(2, workers / 4), workers - 1));
}

qint64 ServiceOptions::smallRequestMemory() const
{
    return smallRequestMemoryBytes.value_or(
        std::min(requestMemoryBytes / 8, requestMemoryBytes - smallestRequestMemory * megabyte));
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
