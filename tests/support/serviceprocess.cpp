#include "serviceprocess.h"

ServiceProcess::ServiceProcess(const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QUILLBAY_SERVICE, QStringList{"--port", "0", "--data", m_data.path()} + arguments);
    const QByteArray marker = "listening on ";
    while (m_baseUrl.isEmpty() && (m_process.canReadLine() || m_process.waitForReadyRead(10000))) {
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith(marker))
            m_baseUrl = QString::fromUtf8(line.mid(marker.size()));
    }
}

ServiceProcess::~ServiceProcess()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool ServiceProcess::addAccount(const QString& name, const QString& password) const
{
    QProcess add;
    add.start(QUILLBAY_SERVICE, {"--data", m_data.path(), "--add-account", name});
    add.write(password.toUtf8() + '\n');
    add.closeWriteChannel();
    return add.waitForFinished(30000) && add.exitStatus() == QProcess::NormalExit && add.exitCode() == 0;
}
