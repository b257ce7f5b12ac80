#include "answerspool.h"

#include "ownerfolder.h"
#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
const qint64 largestDefaultReserve = qint64(1) << 30;
// Hidden, as the lock files are, so that a listing of the answers waiting shows answers alone.
const char* const totalName = ".total";
const QString lockSuffix = ".lock";

// An answer's file is named "OWNER-N"; its process's lock file ".OWNER.lock".
QString lockName(const QString& owner)
{
    return '.' + owner + lockSuffix;
}

bool isLock(const QString& name)
{
    return name.startsWith('.') && name.endsWith(lockSuffix);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

bool measure(const QString& folder, struct statvfs& disk)
{
    return statvfs(QFile::encodeName(folder).constData(), &disk) == 0;
}
} // namespace

AnswerSpool::AnswerSpool(const QString& folder, qint64 limit, std::optional<qint64> diskReserve)
    : m_folder(folder), m_limit(limit), m_diskReserve(diskReserve)
{
}

bool AnswerSpool::prepare(QString& error)
{
    if (!OwnerFolder::makeOwn(m_folder)) {
        error = "cannot make " + m_folder + " for its owner alone";
        return false;
    }
    // One process at a time takes its place and looks at what others left, so that none starting is taken for ended.
    const int folder = open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const char* failed = folder < 0 || flock(folder, LOCK_EX) != 0 ? "cannot lock" : takePlace();
    const int reason = errno;
    if (failed)
        error = QString("%1 %2: %3").arg(failed, m_folder, qt_error_string(reason));
    else
        removeLeftovers();
    if (folder >= 0)
        close(folder);
    return !failed;
}

const char* AnswerSpool::takePlace()
{
    m_owner = QString("%1-%2").arg(getpid()).arg(QRandomGenerator::system()->generate(), 8, 16, QChar('0'));
    if (!m_lock.take(QDir(m_folder).filePath(lockName(m_owner))))
        return "cannot make a lock file in";
    if (!m_total.open(QDir(m_folder).filePath(totalName)))
        return "cannot keep the total of answers in";
    struct statvfs disk = {};
    if (!measure(m_folder, disk))
        return "cannot measure the disk of";
    if (!m_diskReserve)
        m_diskReserve = std::min(qint64(disk.f_blocks) * qint64(disk.f_frsize) / 10, largestDefaultReserve);
    return nullptr;
}

void AnswerSpool::removeLeftovers()
{
    QDir folder(m_folder);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden);
    QSet<QString> running{m_owner};
    for (const QString& name : names) {
        if (!isLock(name))
            continue;
        if (ProcessLock::isHeld(folder.filePath(name)))
            running.insert(name.mid(1, name.size() - 1 - lockSuffix.size()));
        else
            folder.remove(name);
    }
    qint64 removed = 0;
    int files = 0;
    for (const QString& name : names) {
        if (isLock(name) || name == totalName || running.contains(name.section('-', 0, -2)))
            continue;
        removed += QFileInfo(folder.filePath(name)).size();
        files += folder.remove(name) ? 1 : 0;
    }
    if (files > 0)
        qCInfo(lcService).noquote() << QString("removed the answer files that ended processes left: %1, %2 MB")
                                           .arg(files)
                                           .arg(megabytes(removed));
    // Alone, nothing waits: what ended processes counted but never wrote is forgotten with them.
    if (running.size() == 1)
        m_total.reset();
    else
        m_total.subtract(removed);
}

QString AnswerSpool::newPath()
{
    return QDir(m_folder).filePath(QString("%1-%2").arg(m_owner).arg(m_made.fetch_add(1)));
}

bool AnswerSpool::reserve(qint64 bytes)
{
    if (!m_total.add(bytes, m_limit)) {
        refuse(OverLimit,
               QString("answers waiting for their clients take all the %1 MB they may (--answer-spool-limit)")
                   .arg(megabytes(m_limit)));
        return false;
    }
    struct statvfs disk = {};
    const bool measured = measure(m_folder, disk);
    const int error = errno;
    if (measured && qint64(disk.f_bavail) * qint64(disk.f_frsize) - bytes >= *m_diskReserve)
        return true;
    m_total.subtract(bytes);
    if (measured)
        refuse(OverReserve, QString("answers waiting for their clients would leave less than the %1 MB kept free for "
                                    "the store on their disk (--answer-disk-reserve)")
                                .arg(megabytes(*m_diskReserve)));
    else
        writeFailed(error);
    return false;
}

void AnswerSpool::release(qint64 bytes)
{
    m_total.subtract(bytes);
}

void AnswerSpool::writeFailed(int error)
{
    refuse(DiskError, "an answer waiting for its client could not be written: " + qt_error_string(error));
}

void AnswerSpool::refuse(Refusal refusal, const QString& why)
{
    m_warnings[refusal].warn(why + ": told a sync to come back later");
}
