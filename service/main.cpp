#include "accountregistry.h"
#include "servicestore.h"
#include "syncservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillbay-service");

    QCommandLineParser parser;
    parser.setApplicationDescription("Quillbay's online service: accounts, sync, update check and feedback.");
    parser.addHelpOption();
    const QCommandLineOption port("port", "Port on 127.0.0.1 to listen on (0: any free one).", "port", "8647");
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
    const QCommandLineOption offerVersion("offer-version", "Version code the update check offers.", "code", "44");
    const QCommandLineOption offerName("offer-name", "Version name the update check offers.", "name", "2.2");
    parser.addOptions({port, data, database, addAccount, offerVersion, offerName});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString storeUrl =
        parser.isSet(database) ? parser.value(database) : "sqlite:" + QDir(parser.value(data)).filePath("service.db");
    ServiceStore store;
    if (!store.open(storeUrl)) {
        const QString shown = storeUrl.startsWith("sqlite:") ? storeUrl : QUrl(storeUrl).toString(QUrl::RemovePassword);
        err << "cannot open the store " << shown << ": " << store.lastError() << Qt::endl;
        return 1;
    }

    if (parser.isSet(addAccount)) {
        const QString password = QTextStream(stdin).readLine();
        const QString refusal = AccountRegistry(store).create(parser.value(addAccount), password);
        if (!refusal.isEmpty()) {
            err << refusal << Qt::endl;
            return 1;
        }
        out << "account created: " << parser.value(addAccount) << Qt::endl;
        return 0;
    }

    bool portOk = false;
    bool codeOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    const UpdateOffer offer{parser.value(offerVersion).toInt(&codeOk), parser.value(offerName)};
    if (!portOk || portNumber > 65535 || !codeOk) {
        err << "--port and --offer-version take numbers" << Qt::endl;
        return 1;
    }

    SyncService service(store, parser.value(data), offer);
    const quint16 listening = service.listen(quint16(portNumber));
    if (listening == 0) {
        err << "cannot listen on 127.0.0.1:" << portNumber << Qt::endl;
        return 1;
    }
    out << "listening on http://127.0.0.1:" << listening << "/" << Qt::endl;
    return app.exec();
}
