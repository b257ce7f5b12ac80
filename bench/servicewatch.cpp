#include "servicewatch.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/statvfs.h>

namespace {
// A line of /proc/PID/status in kilobytes, 0 when the process is gone.
qint64 statusKb(qint64 pid, const QByteArray& key)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}
} // namespace

ServiceWatch::ServiceWatch(qint64 pid, qint64 guardKb, const QString& folder)
    : m_pid(pid), m_guardKb(guardKb), m_folder(folder)
{
    connect(&m_timer, &QTimer::timeout, this, &ServiceWatch::sample);
    m_timer.start(100);
}

void ServiceWatch::sample()
{
    m_peakKb = qMax(m_peakKb, qMax(statusKb(m_pid, "VmHWM:"), statusKb(m_pid, "VmRSS:")));
    if (!m_stopped && statusKb(m_pid, "VmRSS:") > m_guardKb) {
        m_stopped = true;
        ::kill(pid_t(m_pid), SIGKILL);
    }
    struct statvfs disk
    {
    };
    if (m_folder.isEmpty() || ::statvfs(QFile::encodeName(m_folder).constData(), &disk) != 0)
        return;
    m_diskBytes = qint64(disk.f_blocks) * qint64(disk.f_frsize);
    const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    m_lowestFree = m_lowestFree < 0 ? free : qMin(m_lowestFree, free);
}

qint64 ServiceWatch::residentKb() const
{
    return statusKb(m_pid, "VmRSS:");
}

int ServiceWatch::descriptors() const
{
    const QDir open(QString("/proc/%1/fd").arg(m_pid));
    if (!open.exists())
        return -1;
    // Each entry is a link to what the descriptor holds, a socket or pipe as much as a file.
    return int(open.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}
