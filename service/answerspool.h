#pragma once

#include <QString>

#include <atomic>

// Where answers too large to hold in memory wait for their clients: files in a folder that only the service's user
// may enter, each removed when its answer is done, and all together held to a limit. Files that an ended process
// left behind are removed at the next start. Any thread may use it.
class AnswerSpool
{
public:
    AnswerSpool(const QString& folder, qint64 limit);

    // Makes the folder for its owner alone and removes what ended processes left in it; false, with the reason in
    // `error`, when it cannot be made.
    bool prepare(QString& error);
    // A path for a new file, unique among every process's.
    QString newPath();
    // Takes room for that many more bytes; false when the files would grow past the limit.
    bool reserve(qint64 bytes);
    void release(qint64 bytes);

private:
    QString m_folder;
    qint64 m_limit;
    std::atomic<qint64> m_used{0};
    std::atomic<quint64> m_made{0};
};
