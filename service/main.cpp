#include "accountregistry.h"
#include "connectiongate.h"
#include "serviceoptions.h"
#include "servicestore.h"
#include "syncservice.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QUrl>

#include <csignal>
#include <httplib.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillbay-service");
    // A client that goes away while its answer is written must not end the service.
    std::signal(SIGPIPE, SIG_IGN);

    QTextStream out(stdout);
    QTextStream err(stderr);
    QString error;
    const std::optional<ServiceOptions> options = ServiceOptions::parse(app, error);
    if (!options) {
        err << error << Qt::endl;
        return 1;
    }

    {
        // Made or checked once here; each worker opens a connection of its own.
        ServiceStore store;
        if (!store.open(options->storeUrl)) {
            const QString& url = options->storeUrl;
            const QString shown = url.startsWith("sqlite:") ? url : QUrl(url).toString(QUrl::RemovePassword);
            err << "cannot open the store " << shown << ": " << store.lastError() << Qt::endl;
            return 1;
        }
        if (options->newAccount) {
            const QString password = QTextStream(stdin).readLine();
            const QString refusal = AccountRegistry(store).create(*options->newAccount, password);
            if (!refusal.isEmpty()) {
                err << refusal << Qt::endl;
                return 1;
            }
            out << "account created: " << *options->newAccount << Qt::endl;
            return 0;
        }
    }

    ConnectionGate gate({options->connectionsPerAddress, options->idleSeconds});
    const quint16 port = gate.listen(options->listenAddress, options->port, error);
    if (port == 0) {
        err << "cannot listen on " << options->listenAddress.toString() << " port " << options->port << ": " << error
            << Qt::endl;
        return 1;
    }
    SyncService service(*options, options->baseUrl(port), gate.listener());
    httplib::ThreadPool workers(std::size_t(options->workers));
    out << "listening on " << options->listenUrl(port) << Qt::endl;
    gate.run([&workers, &service, &gate](int socket, const std::string& peer) {
        workers.enqueue([&service, &gate, socket, peer] {
            service.serve(socket);
            gate.release(peer);
        });
    });
    workers.shutdown();
    return 1;
}
