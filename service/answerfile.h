#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <sys/stat.h>

class AnswerSpool;

// A file an answer is read from: one of the spool's, written while its answer is made and removed, its room given
// back, when the last text that uses it goes; or a file sent as it stands, a download, which must not change while it
// is sent. Reading opens the file for each piece, so that an answer waiting for its client holds no descriptor.
class AnswerFile
{
public:
    explicit AnswerFile(std::shared_ptr<AnswerSpool> spool);
    ~AnswerFile();
    AnswerFile(const AnswerFile&) = delete;
    AnswerFile& operator=(const AnswerFile&) = delete;

    // The file as it stands, and its size; nullptr when it cannot be read.
    static std::shared_ptr<AnswerFile> existing(const QString& path, qint64& size);

    // Appends the bytes to a file of the spool, making it at the first; where they start in `at`. False, said in the
    // log, once the spool has no room for them or the file cannot be written.
    bool append(QByteArrayView bytes, qint64& at);
    // Whether an append has failed.
    bool failed() const { return m_failed; }
    // Ends writing.
    void finish();
    // Reads `size` bytes from `at` into `into`; false when the file cannot be read or has changed.
    bool read(qint64 at, qint64 size, QByteArray& into) const;

private:
    AnswerFile() = default;
    static bool sameFile(const struct stat& a, const struct stat& b);
    // Marks the file failed, said in the log with the system's reason.
    void fail(int error);

    std::shared_ptr<AnswerSpool> m_spool;
    QString m_path;
    int m_descriptor = -1;
    qint64 m_size = 0;
    bool m_failed = false;
    // What a file sent as it stands was when its answer began.
    bool m_checked = false;
    struct stat m_identity = {};
};
