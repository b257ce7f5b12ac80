#pragma once

#include <QString>

// A file that a process holds locked for as long as it runs, whatever way it ends: what it leaves behind is known to
// be in use by the lock, not by a process id that the system gives again to others. The file goes when the holder
// does; one whose holder ended without removing it stays unlocked.
class ProcessLock
{
public:
    ProcessLock() = default;
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Makes the file, which must not exist yet, and locks it; false, with errno set, when it cannot.
    bool take(const QString& path);
    // Whether a running process holds the file's lock.
    static bool isHeld(const QString& path);

private:
    QString m_path;
    int m_descriptor = -1;
};
