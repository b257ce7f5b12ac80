#pragma once

#include "processlock.h"
#include "sharedtotal.h"
#include "warningpace.h"

#include <QString>

#include <atomic>
#include <optional>

// Where answers too large to hold in memory wait for their clients: files in a folder that only the service's user
// may enter, each removed when its answer is done. The files of every process that shares the folder are held to a
// limit together, and never leave the folder's disk less free room than a reserve, which the store needs. Each
// process holds a lock file of its own there for its life, named like its answers: files whose process no longer
// holds its lock are removed at the next start. Any thread may use it once it is prepared.
class AnswerSpool
{
public:
    // Without `diskReserve`, a tenth of the disk, at most 1 GB, stays free.
    AnswerSpool(const QString& folder, qint64 limit, std::optional<qint64> diskReserve = std::nullopt);

    // Makes the folder for its owner alone, takes the process's place in it and removes what ended processes left;
    // false, with the reason in `error`, when it cannot.
    bool prepare(QString& error);
    // A path for a new file, unique among every process's.
    QString newPath();
    // Takes room for that many more bytes; false, said in the log, when the files would pass the limit or leave the
    // disk less free room than the reserve.
    bool reserve(qint64 bytes);
    void release(qint64 bytes);
    // Says in the log that an answer's file could not be made or written, with the system's reason (an errno value).
    void writeFailed(int error);

private:
    enum Refusal
    {
        OverLimit,
        OverReserve,
        DiskError,
        refusals
    };

    // The step of preparing that failed, nullptr when none did; called while no other process prepares.
    const char* takePlace();
    void removeLeftovers();
    void refuse(Refusal refusal, const QString& why);

    QString m_folder;
    qint64 m_limit;
    std::optional<qint64> m_diskReserve;
    // What this process's file names start with.
    QString m_owner;
    ProcessLock m_lock;
    SharedTotal m_total;
    std::atomic<quint64> m_made{0};
    WarningPace m_warnings[refusals];
};
