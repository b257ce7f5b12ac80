#include "accountregistry.h"
#include "answerspool.h"
#include "httpserver.h"
#include "servicelog.h"
#include "serviceoptions.h"
#include "servicestore.h"
#include "storeaddress.h"
#include "syncservice.h"
#include "transferrules.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <csignal>
#include <malloc.h>
#include <sys/resource.h>

namespace {
// Descriptors kept free of connections: each worker's store connection (an SQLite store keeps up to four files open
// for one) and the answer file it writes, a file read for an answer now and then, and the log.
int reservedDescriptors(int workers)
{
    return 64 + 5 * workers;
}

// Raises the soft limit of open descriptors to the hard one, for the connections; returns the limit in force.
int raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    // An unlimited hard limit is still bounded by the kernel's own.
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? rlim_t(1 << 20) : limit.rlim_max;
    if (limit.rlim_cur < wanted) {
        rlimit raised{wanted, limit.rlim_max};
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return int(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

// The connections served at once: as many as asked, or as the descriptors left beside the reserve allow, 16 at least.
int connectionCap(const ServiceOptions& options, int descriptors)
{
    return std::min(options.maxConnections,
                    std::max(ServiceOptions::fewestConnections, descriptors - reservedDescriptors(options.workers)));
}

// Opens the store, making its tables or bringing them to the present shape; false, having said why, when it cannot.
bool openStore(ServiceStore& store, const QString& url, QTextStream& err)
{
    if (store.open(url))
        return true;
    err << "cannot open the store " << StoreAddress::shown(url) << ": " << store.lastError() << Qt::endl;
    return false;
}

// Adds the account the operator names, its password read from standard input; the process's exit status. The name
// and the password are checked before the store is opened, so that a refused account leaves nothing made.
int addAccount(const ServiceOptions& options, QTextStream& out, QTextStream& err)
{
    const QString& name = *options.newAccount;
    const QString password = QTextStream(stdin).readLine();
    QString refusal = AccountRegistry::refusal(name, password, AccountRegistry::Reader::Operator);
    if (refusal.isEmpty()) {
        ServiceStore store(options.storeTimeout);
        if (!openStore(store, options.storeUrl, err))
            return 1;
        refusal =
            AccountRegistry(store, options.keyIterations, AccountRegistry::Reader::Operator).create(name, password);
    }
    if (!refusal.isEmpty()) {
        err << "account not created: " << refusal << Qt::endl;
        return 1;
    }
    // The operator's own answer on the terminal, where the name was typed, and no line of the log.
    out << "account created: " << name << " in " << StoreAddress::shown(options.storeUrl) << Qt::endl;
    return 0;
}

// Why the service cannot take the address it was given, naming the option the operator would change.
QString listenRefusal(const ServiceOptions& options, const boost::system::error_code& failure)
{
    const QString address = options.listenAddress.toString();
    const QString why = QString::fromStdString(failure.message());
    if (failure == boost::system::errc::address_in_use)
        return QString("--port %1: is in use on %2: %3").arg(options.port).arg(address, why);
    if (failure == boost::system::errc::address_not_available)
        return QString("--listen %1: takes an address of this computer: %2").arg(address, why);
    return QString("--listen %1 --port %2: cannot listen there: %3").arg(address).arg(options.port).arg(why);
}

// The limits in force, for the operator to see at start; the cap on connections with the descriptor limit when that
// limit lowers it, and the option the operator gave when it lowers that; the memory for requests being read, and the
// room in it kept for small ones.
QString limitsInForce(const HttpServer::Limits& limits, const ServiceOptions& options, int descriptors)
{
    QString connections = QString("%1 connections at once").arg(limits.maxConnections);
    if (limits.maxConnections < options.maxConnections) {
        const QString asked =
            options.maxConnectionsGiven ? QString("not --max-connections %1: ").arg(options.maxConnections) : QString();
        connections += QString(" (%1the descriptor limit is %2, and %3 of them are kept for the store and the answers' "
                               "files)")
                           .arg(asked)
                           .arg(descriptors)
                           .arg(reservedDescriptors(options.workers));
    }
    // In megabytes, as the options take them: whole, and with the fraction an eighth of a few leaves, never in a
    // power of ten.
    const auto megabytes = [](qint64 bytes) {
        return QString::number(double(bytes) / (1 << 20), 'f', QLocale::FloatingPointShortest);
    };
    return QString("serving %1; workers: %2, %3 of them kept for cheap requests; request memory: %4 MB, %5 MB of it "
                   "kept for heads and bodies up to %6 KB")
        .arg(connections)
        .arg(limits.workers)
        .arg(limits.cheapWorkers)
        .arg(megabytes(limits.requestMemory), megabytes(limits.smallRequestMemory))
        .arg(TransferRules::smallBody / 1024);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillbay-service");
    // A client that goes away while its answer is written must not end the service.
    std::signal(SIGPIPE, SIG_IGN);
    // The buffers of a large sync go back to the system when it ends. Left to the allocator's own threshold, which
    // grows with the blocks freed, each worker would keep the most a sync of its ever took.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // The operator's log: when and how grave, unless QT_MESSAGE_PATTERN says otherwise.
    qSetMessagePattern("%{time yyyy-MM-dd hh:mm:ss} %{type}: %{message}");

    QTextStream out(stdout);
    QTextStream err(stderr);
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << argv[i];
    QString error;
    const std::optional<ServiceOptions> options = ServiceOptions::parse(arguments, error);
    if (!options) {
        err << error << Qt::endl;
        return 1;
    }

    if (options->newAccount)
        return addAccount(*options, out, err);

    const int descriptors = raiseDescriptorLimit();
    HttpServer::Limits limits;
    limits.workers = options->workers;
    limits.maxConnections = connectionCap(*options, descriptors);
    limits.perAddress = options->connectionsPerAddress;
    limits.waitingPerAddress = options->waitingPerAddress;
    limits.cheapWorkers = options->cheapWorkerCount();
    limits.idle = std::chrono::seconds(options->idleSeconds);
    limits.head = std::chrono::seconds(options->headSeconds);
    limits.writeStall = std::chrono::seconds(options->writeStallSeconds);
    for (const QHostAddress& proxy : options->trustedProxies)
        limits.trustedProxies.push_back(boost::asio::ip::make_address(proxy.toString().toStdString()));
    limits.largeAtOnce = options->largeRequests;
    limits.largeWait = std::chrono::seconds(options->largeWaitSeconds);
    limits.requestMemory = options->requestMemoryBytes;
    limits.smallRequestMemory = options->smallRequestMemory();

    const auto spool = std::make_shared<AnswerSpool>(ServiceOptions::answersFolderIn(options->dataFolder),
                                                     options->answerSpoolBytes, options->answerDiskReserveBytes);
    HttpServer server(limits, spool);
    // The address is taken before the store is opened, which may make it or bring it to its present shape for a
    // minute: a port in use or an address of another computer is told at once, and nothing is made for it.
    // Connections made meanwhile wait to be accepted once the store is ready.
    boost::system::error_code failure;
    const quint16 port = server.listen(options->listenAddress, options->port, failure);
    if (port == 0) {
        err << listenRefusal(*options, failure) << Qt::endl;
        return 1;
    }
    qCInfo(lcService).noquote() << QString("store: %1; data folder: %2")
                                       .arg(StoreAddress::shown(options->storeUrl),
                                            QFileInfo(options->dataFolder).absoluteFilePath());
    {
        // Made or checked once here; each worker opens a connection of its own.
        ServiceStore store(options->storeTimeout);
        if (!openStore(store, options->storeUrl, err))
            return 1;
    }
    if (!spool->prepare(error)) {
        err << error << Qt::endl;
        return 1;
    }

    SyncService service(*options, options->baseUrl(port), spool);
    out << "listening on " << options->listenUrl(port) << Qt::endl;
    qCInfo(lcService).noquote() << limitsInForce(limits, *options, descriptors);
    server.run(service);
    // Every connection is closed and every worker done: no answer's file is left.
    qCInfo(lcService) << "stopped; its answer files are removed";
    return 0;
}
