#include "benchbook.h"
#include "billbench.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "platform/platformprobe.h"
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
    parser.setApplicationDescription("Times the bill list's hot paths on generated books.");
    parser.addHelpOption();
    parser.addOption({"bills", "Book sizes to time, comma-separated.", "counts", "100000,1000000"});
    parser.addOption({"changes", "Filter changes on the first book.", "count", "1000"});
    parser.addOption({"books", "Folder that keeps the generated books.", "folder",
                      QCoreApplication::applicationDirPath() + "/books"});
    parser.addOption({"sync-bills", "Book size of the first-sync timing (0: none).", "count", "100000"});
    parser.addOption({"merge-rows", "Received rows of the merge timing (0: none).", "count", "10000"});
    parser.addOption({"only-sync", "Time the sync only."});
    parser.process(app);

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
        if (i == 0)
            bench.runFilterChanges(parser.value("changes").toInt());
    }

    SyncBench sync(home.path());
    if (const int bills = parser.value("sync-bills").toInt(); bills > 0)
        sync.runFirstSync(BenchBook::open(parser.value("books"), bills), bills);
    if (const int rows = parser.value("merge-rows").toInt(); rows > 0)
        sync.runMerge(rows, 5);
    return 0;
}
