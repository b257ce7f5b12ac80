#include "processlock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

ProcessLock::~ProcessLock()
{
    if (m_descriptor < 0)
        return;
    unlink(QFile::encodeName(m_path).constData());
    close(m_descriptor);
}

bool ProcessLock::take(const QString& path)
{
    const int descriptor =
        open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return false;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        unlink(QFile::encodeName(path).constData());
        close(descriptor);
        errno = error;
        return false;
    }
    m_path = path;
    m_descriptor = descriptor;
    return true;
}

bool ProcessLock::isHeld(const QString& path)
{
    const int descriptor = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    // The lock, if it was free, goes again with the descriptor.
    const bool held = flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(descriptor);
    return held;
}
