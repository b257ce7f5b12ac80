#include "answerspool.h"

#include "ownerfolder.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {
// A file is named after the process that made it: "PID-N".
bool madeByEndedProcess(const QString& name)
{
    bool ok = false;
    const qint64 pid = name.section('-', 0, 0).toLongLong(&ok);
    return !ok || pid <= 0 || pid == qint64(getpid()) || (kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}
} // namespace

AnswerSpool::AnswerSpool(const QString& folder, qint64 limit) : m_folder(folder), m_limit(limit) {}

bool AnswerSpool::prepare(QString& error)
{
    if (!OwnerFolder::makeOwn(m_folder)) {
        error = "cannot make " + m_folder + " for its owner alone";
        return false;
    }
    QDir folder(m_folder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        if (madeByEndedProcess(name))
            folder.remove(name);
    return true;
}

QString AnswerSpool::newPath()
{
    return QDir(m_folder).filePath(QString("%1-%2").arg(getpid()).arg(m_made.fetch_add(1)));
}

bool AnswerSpool::reserve(qint64 bytes)
{
    qint64 used = m_used.load();
    do {
        if (used + bytes > m_limit)
            return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return true;
}

void AnswerSpool::release(qint64 bytes)
{
    m_used.fetch_sub(bytes);
}
