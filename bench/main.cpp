#include "analysisbench.h"
#include "attackbench.h"
#include "benchbook.h"
#include "billbench.h"
#include "bulkbench.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "listbench.h"
#include "loadbench.h"
#include "platform/platformprobe.h"
#include "relayconsole.h"
#include "syncbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
// The record classes write their progress to the debug output, which would be timed along with them.
void dropDebugOutput(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg)
        QTextStream(stderr) << qFormatLogMessage(type, context, message) << '\n';
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and folders go to a private home, never to the user's documents.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("PROGRAMFILES");
    QApplication app(argc, argv);
    qInstallMessageHandler(dropDebugOutput);
    Constants::resetInstance(PlatformProbe());
    FileSetting::resetInstance();

    QCommandLineParser parser;
    parser.setApplicationDescription("Times the bill list's and the analyses' hot paths on generated books.");
    parser.addHelpOption();
    parser.addOption({"bills", "Book sizes to time, comma-separated.", "counts", "100000,1000000"});
    parser.addOption({"changes", "Filter changes on the first book.", "count", "1000"});
    parser.addOption({"books", "Folder that keeps the generated books.", "folder",
                      QCoreApplication::applicationDirPath() + "/books"});
    parser.addOption({"sync-bills", "Book size of the sync timings (0: none).", "count", "100000"});
    parser.addOption({"merge-rows", "Received rows of the merge timing (0: none).", "count", "10000"});
    parser.addOption({"bulk-bills", "Book size of the bulk change timing (0: none).", "count", "10000"});
    parser.addOption({"only-sync", "Time the sync only."});
    parser.addOption({"load", "Run only the load test of the service, on SQLite and, under "
                              "tests/support/with-postgresql.sh, on PostgreSQL."});
    parser.addOption({"load-size", "Devices, accounts and rounds of the load test.", "d,a,r", "100,20,5"});
    parser.addOption({"attack",
                      "Run only this attack on the service (all: every one), on SQLite or, under "
                      "tests/support/with-postgresql.sh, on PostgreSQL: " +
                          AttackBench::names().join(", ") + ".",
                      "name"});
    parser.addOption({"service", "The service the attacks and the load test start (default: this build's).", "path"});
    parser.addOption({"attack-account-mb",
                      "Megabytes of the account whose first syncs the unread-syncs attack leaves unread.", "MB",
                      "100"});
    parser.addOption({"crowd-accounts",
                      "Accounts of the crowd attack, each syncing 1 MB at once from an address of its own, and "
                      "households of mixed-crowd at 100 KB/s.",
                      "count", "100"});
    parser.addOption({"service-processes",
                      "Service processes on one store that serve each attack: the owner and the attacks other than the "
                      "crowds' reach the first, each crowd's syncs are spread over all.",
                      "count", "1"});
    parser.addOption({"store-relay",
                      "Run only a relay in front of the PostgreSQL store at this address, for a trial's script: it "
                      "writes the store's address through it, stalls the connections open at each line \"stall\" of "
                      "its input, or at \"stall-at TEXT\" the first whose bytes toward the server hold the text, and "
                      "ends with its input.",
                      "url"});
    parser.addOption({"owner-first-sync",
                      "In the attacks, the owner's every sync is a first sync of its one-record account instead of one "
                      "that names its last sync."});
    parser.process(app);

    if (parser.isSet("store-relay"))
        return RelayConsole::run(parser.value("store-relay"));

    if (parser.isSet("attack")) {
        const int accountMb = parser.value("attack-account-mb").toInt();
        if (accountMb <= 0)
            qFatal("--attack-account-mb takes a positive number");
        const int crowdAccounts = parser.value("crowd-accounts").toInt();
        if (crowdAccounts <= 0)
            qFatal("--crowd-accounts takes a positive number");
        const int processes = parser.value("service-processes").toInt();
        if (processes <= 0)
            qFatal("--service-processes takes a positive number");
        if (!AttackBench(parser.value("service"), accountMb, parser.isSet("owner-first-sync"), crowdAccounts, processes)
                 .run(parser.value("attack")))
            qFatal("--attack takes one of: all, %s", qPrintable(AttackBench::names().join(", ")));
        return 0;
    }

    if (parser.isSet("load")) {
        const QStringList size = parser.value("load-size").split(',');
        LoadBench load(size.value(0).toInt(), size.value(1).toInt(), size.value(2).toInt(), parser.value("service"));
        if (load.devices() <= 0 || load.accounts() <= 0 || load.rounds() <= 0)
            qFatal("--load-size takes three positive numbers");
        QStringList stores{"sqlite"};
        if (qEnvironmentVariableIsSet("PGPORT"))
            stores << "postgresql";
        else
            QTextStream(stdout) << "no PostgreSQL server named by the PG* variables: SQLite only\n";
        LoadBench::printHeader();
        bool sound = true;
        // One process with a single worker, then with its pool of workers, then two processes sharing the store.
        const int runs[][2] = {{1, 1}, {1, 0}, {2, 0}};
        for (const QString& store : stores)
            for (const auto& [processes, workers] : runs)
                sound = load.run(qPrintable(store), processes, workers) && sound;
        return sound ? 0 : 1;
    }

    const QStringList sizes =
        parser.isSet("only-sync") ? QStringList() : parser.value("bills").split(',', Qt::SkipEmptyParts);
    for (int i = 0; i < sizes.size(); ++i) {
        const int bills = sizes.at(i).toInt();
        QElapsedTimer timer;
        timer.start();
        BenchBook::open(parser.value("books"), bills);
        QTextStream(stdout) << QString("\nbook of %1 bills ready in %2 s\n").arg(bills).arg(timer.elapsed() / 1000.0);
        MBill::resetCache();
        BillBench bench(bills, bills > 200000 ? 3 : 5);
        bench.run();
        ListBench(bench).run();
        if (i == 0)
            bench.runFilterChanges(parser.value("changes").toInt());
        AnalysisBench(bills, bills > 200000 ? 3 : 5).run();
    }

    if (const int bills = parser.value("bulk-bills").toInt(); bills > 0 && !parser.isSet("only-sync")) {
        BenchBook::open(parser.value("books"), bills);
        MBill::resetCache();
        BulkBench(bills, 5).run();
    }

    SyncBench sync(home.path());
    if (const int bills = parser.value("sync-bills").toInt(); bills > 0)
        sync.runSyncs(BenchBook::open(parser.value("books"), bills), bills);
    if (const int rows = parser.value("merge-rows").toInt(); rows > 0)
        sync.runMerge(rows, 5);
    return 0;
}
