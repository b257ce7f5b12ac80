#include "serviceprocess.h"

#include "testmount.h"

#include <QFile>
#include <QTest>
#include <QtDebug>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// The service's own stop takes 5.5 s at most; a sanitized build then checks its memory for leaks, and a loaded
// machine slows both.
constexpr int stopBoundMs = 120000;

// The first line of each report that a sanitizer wrote into the log.
QByteArrayList sanitizerReports(const QByteArray& log)
{
    QByteArrayList reports;
    for (const QByteArray& line : log.split('\n')) {
        if (line.contains("ERROR: AddressSanitizer") || line.contains("LeakSanitizer") ||
            line.contains("runtime error:"))
            reports << line.trimmed();
    }
    return reports;
}

// The service's sanitizer options, where the test's own differ: the leak check runs in it even where the test process
// goes without.
void takeServiceSanitizerOptions(QProcess& process)
{
    const QString options = qEnvironmentVariable("QUILLBAY_SERVICE_ASAN_OPTIONS");
    if (options.isEmpty())
        return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", options);
    process.setProcessEnvironment(environment);
}

QString exitText(const QProcess& process)
{
    return process.exitStatus() == QProcess::NormalExit ? QString("with status %1").arg(process.exitCode())
                                                        : QString("on a signal");
}

} // namespace

ServiceProcess::ServiceProcess(const QStringList& arguments, const QString& database, const ServiceLaunch& launch)
    : m_program(launch.program.isEmpty() ? builtProgram() : launch.program), m_database(database)
{
    if (launch.diskMb > 0) {
        m_disk = std::make_unique<TestMount>(TestMount::SmallDisk, m_data.path(), launch.diskMb);
        if (!m_disk->isMounted())
            return;
    }
    if (m_database.isEmpty() && !launch.defaultStore) {
        m_database = m_store.emplace(m_data.filePath("service.db"), QString(), launch.icuLocale).address();
        if (m_database.isEmpty())
            return;
    }
    // The log goes to a file, which never holds the service up as an unread pipe would; the test's output gets it
    // at the end.
    m_process.setStandardErrorFile(m_data.filePath("service.log"));
    // A test that aborts takes its service along: left running, it would hold the test's output open.
    const rlim_t descriptors = rlim_t(launch.descriptors);
    m_process.setChildProcessModifier([descriptors] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const rlimit limit{descriptors, descriptors};
        if (descriptors > 0)
            setrlimit(RLIMIT_NOFILE, &limit);
    });
    takeServiceSanitizerOptions(m_process);
    // Shown as soon as the service ends, in whichever test: one that dies under a test that then crashes still shows
    // why.
    QObject::connect(&m_process, &QProcess::finished, [this] { fputs(log().constData(), stderr); });
    m_process.start(m_program, QStringList{"--port", "0"} + storeArguments() + arguments);
    m_started = true;
    if (launch.waitToListen)
        listening();
}

bool ServiceProcess::listening()
{
    const QByteArray marker = "listening on ";
    while (m_baseUrl.isEmpty() && (m_process.canReadLine() || m_process.waitForReadyRead(10000))) {
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith(marker))
            m_baseUrl = QString::fromUtf8(line.mid(marker.size()));
    }
    return !m_baseUrl.isEmpty();
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

void ServiceProcess::stop()
{
    if (m_stopped || !m_started)
        return;
    m_stopped = true;
    QString fault;
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(stopBoundMs)) {
            m_process.kill();
            m_process.waitForFinished();
            fault = QString("was not gone %1 s after SIGTERM: killed").arg(stopBoundMs / 1000);
        } else if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0) {
            fault = "ended " + exitText(m_process) + " at its stop";
        }
    } else if (!m_statusRead && m_process.error() != QProcess::FailedToStart) {
        fault = "ended " + exitText(m_process) + " before the test stopped it";
    }
    const QByteArrayList reports = sanitizerReports(log());
    if (!reports.isEmpty())
        fault += (fault.isEmpty() ? "" : "; ") + QString("wrote sanitizer reports:\n") + reports.join('\n');
    if (!fault.isEmpty())
        fail(fault);
}

QStringList ServiceProcess::storeArguments() const
{
    const QStringList data{"--data", m_data.path()};
    return m_database.isEmpty() ? data : data + QStringList{"--database", m_database};
}

void ServiceProcess::fail(const QString& fault) const
{
    const QByteArray message = "the service " + fault.toUtf8();
    // Outside a test function, as in the bench, no test takes the failure.
    if (QTest::currentTestFunction())
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    else
        qCritical("%s", message.constData());
}

QByteArray ServiceProcess::log() const
{
    QFile file(m_data.filePath("service.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ServiceProcess::waitForLog(const QByteArray& text, int times, int timeoutMs)
{
    const auto logged = [&] { return log().count(text) >= times; };
    return QTest::qWaitFor([&] { return logged() || m_process.state() == QProcess::NotRunning; }, timeoutMs) &&
           logged();
}

qint64 ServiceProcess::processorMs() const
{
    QFile stat(QString("/proc/%1/stat").arg(processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command's name, which may hold blanks itself; user and system time are the 12th and 13th.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

int ServiceProcess::exitCode(int timeoutMs)
{
    // A process that ended already, as one that refused its options has once started, waits for nothing.
    const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    m_statusRead = m_statusRead || ended;
    if (!ended || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QString ServiceProcess::builtProgram()
{
    return QUILLBAY_SERVICE;
}

bool ServiceProcess::takesOption(const QString& program, const QString& option)
{
    QProcess help;
    help.start(program.isEmpty() ? builtProgram() : program, {"--help"});
    return help.waitForFinished(30000) && help.readAllStandardOutput().contains(option.toUtf8());
}

bool ServiceProcess::onPostgreSql()
{
    return TestStore::onPostgreSql();
}

bool ServiceProcess::addAccount(const QString& name, const QString& password) const
{
    QProcess add;
    takeServiceSanitizerOptions(add);
    // Its warnings, and any sanitizer's report, join the test's output.
    add.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    add.start(m_program, storeArguments() + QStringList{"--add-account", name});
    add.write(password.toUtf8() + '\n');
    add.closeWriteChannel();
    return add.waitForFinished(30000) && add.exitStatus() == QProcess::NormalExit && add.exitCode() == 0;
}

bool ServiceProcess::execOnStore(const QStringList& statements) const
{
    return TestStore::exec(m_database, statements);
}
