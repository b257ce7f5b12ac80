#pragma once

#include "processlock.h"
#include "sharedtotal.h"

#include <QString>

#include <atomic>

// Where answers too large to hold in memory wait for their clients: files in a folder that only the service's user
// may enter, each removed when its answer is done. The files of every process that shares the folder are held to a
// limit together. Each process holds a lock file of its own there for its life, named like its answers: files whose
// process no longer holds its lock are removed at the next start. Any thread may use it once it is prepared.
class AnswerSpool
{
public:
    AnswerSpool(const QString& folder, qint64 limit);

    // Makes the folder for its owner alone, takes the process's place in it and removes what ended processes left;
    // false, with the reason in `error`, when it cannot.
    bool prepare(QString& error);
    // A path for a new file, unique among every process's.
    QString newPath();
    // Takes room for that many more bytes; false when the files would grow past the limit.
    bool reserve(qint64 bytes);
    void release(qint64 bytes);

private:
    // The step of preparing that failed, nullptr when none did; called while no other process prepares.
    const char* takePlace();
    void removeLeftovers();

    QString m_folder;
    qint64 m_limit;
    // What this process's file names start with.
    QString m_owner;
    ProcessLock m_lock;
    SharedTotal m_total;
    std::atomic<quint64> m_made{0};
};
