#include "testpooler.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {
// The user a pooler started by root runs as: the one Debian's PostgreSQL runs its servers as.
const char* const serverUser = "postgres";

QString pgbouncer()
{
    const QString found = QStandardPaths::findExecutable("pgbouncer");
    return found.isEmpty() ? QStandardPaths::findExecutable("pgbouncer", {"/usr/sbin", "/usr/local/sbin"}) : found;
}

// A loopback port free at the moment of the look: another process may take it before the pooler does.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

TestPooler::TestPooler(const QString& mode, const QStringList& settings)
{
    if (!missing().isEmpty() || !m_folder.isValid())
        return;
    const QByteArray login = '"' + qgetenv("PGUSER") + "\" \"" + qgetenv("PGPASSWORD") + "\"\n";
    if (!write(m_folder.filePath("users.txt"), login))
        return;
    // A port taken between the look and the pooler's start is looked for again.
    for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
        if (const quint16 port = freePort(); port != 0 && start(mode, settings, port))
            m_port = port;
    }
}

TestPooler::~TestPooler()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString TestPooler::missing()
{
    if (pgbouncer().isEmpty())
        return "needs pgbouncer (scripts/setup.sh installs it)";
    if (qEnvironmentVariableIsEmpty("PGPASSWORD"))
        return "needs the database server's password in PGPASSWORD, as with-postgresql.sh gives it";
    if (geteuid() == 0 && (!getpwnam(serverUser) || QStandardPaths::findExecutable("setpriv").isEmpty()))
        return QString("needs the user %1 and setpriv to run pgbouncer as, which refuses root").arg(serverUser);
    return QString();
}

bool TestPooler::start(const QString& mode, const QStringList& settings, quint16 port)
{
    const QString configuration = m_folder.filePath("pgbouncer.ini");
    const QStringList lines =
        QStringList{"[databases]",
                    QString("* = host=%1 port=%2").arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT")),
                    "[pgbouncer]",
                    "listen_addr = 127.0.0.1",
                    QString("listen_port = %1").arg(port),
                    "unix_socket_dir =",
                    "auth_type = scram-sha-256",
                    "auth_file = " + m_folder.filePath("users.txt"),
                    "pool_mode = " + mode} +
        settings;
    if (!write(configuration, lines.join('\n').toUtf8() + '\n'))
        return false;
    QString program = pgbouncer();
    QStringList arguments{configuration};
    if (geteuid() == 0) {
        // Its folder becomes the user's, and the user's is the process that reads it. setpriv sets the signal that
        // ends it with the test once it has changed its user, which would clear one set before.
        const passwd* user = getpwnam(serverUser);
        for (const QString& path : {m_folder.path(), configuration, m_folder.filePath("users.txt")}) {
            if (chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) != 0)
                return false;
        }
        arguments = QStringList{"--reuid=" + QString(serverUser), "--regid=" + QString(serverUser), "--init-groups",
                                "--pdeathsig=KILL", program} +
                    arguments;
        program = QStandardPaths::findExecutable("setpriv");
    } else {
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_folder.filePath("pgbouncer.log"));
    m_process.start(program, arguments);
    const QByteArray listening = "listening on 127.0.0.1:" + QByteArray::number(port);
    return QTest::qWaitFor([&] { return log().contains(listening) || m_process.state() == QProcess::NotRunning; },
                           30000) &&
           m_process.state() == QProcess::Running;
}

QString TestPooler::address(const QString& direct, const QString& parameters) const
{
    QUrl url(direct);
    url.setHost("127.0.0.1");
    url.setPort(m_port);
    if (!parameters.isEmpty())
        url.setQuery(parameters);
    return url.toString();
}

bool TestPooler::openServerConnections(const QString& address, int count) const
{
    const QUrl url(address);
    QStringList names;
    bool opened = true;
    {
        std::vector<QSqlDatabase> connections;
        for (int i = 0; i < count; ++i) {
            names << QString("test-pooler-%1").arg(i);
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", names.constLast());
            db.setHostName(url.host());
            db.setPort(url.port());
            db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
            // Each holds the server connection it was given until all have one.
            opened = opened && db.open() && QSqlQuery(db).exec("begin") && QSqlQuery(db).exec("select 1");
            connections.push_back(db);
        }
        for (QSqlDatabase& db : connections) {
            opened = opened && QSqlQuery(db).exec("commit");
            db.close();
        }
    }
    for (const QString& name : names)
        QSqlDatabase::removeDatabase(name);
    return opened;
}

QByteArray TestPooler::log() const
{
    QFile file(m_folder.filePath("pgbouncer.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
