#include "answerfile.h"

#include "answerspool.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

AnswerFile::AnswerFile(std::shared_ptr<AnswerSpool> spool) : m_spool(std::move(spool)) {}

AnswerFile::~AnswerFile()
{
    finish();
    if (m_spool && !m_path.isEmpty()) {
        unlink(m_path.toLocal8Bit().constData());
        m_spool->release(m_size);
    }
}

std::shared_ptr<AnswerFile> AnswerFile::existing(const QString& path, qint64& size)
{
    std::shared_ptr<AnswerFile> file(new AnswerFile);
    file->m_path = path;
    file->m_checked = true;
    if (stat(path.toLocal8Bit().constData(), &file->m_identity) != 0 || !S_ISREG(file->m_identity.st_mode))
        return nullptr;
    size = file->m_identity.st_size;
    return file;
}

bool AnswerFile::append(QByteArrayView bytes, qint64& at)
{
    if (m_failed || !m_spool)
        return false;
    // Made at the first piece; open again when a finished answer is made anew.
    const bool made = !m_path.isEmpty();
    if (!made)
        m_path = m_spool->newPath();
    if (m_descriptor < 0)
        m_descriptor = open(m_path.toLocal8Bit().constData(),
                            made ? O_WRONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (m_descriptor < 0) {
        fail(errno);
        if (!made)
            m_path.clear();
        return false;
    }
    m_failed = !m_spool->reserve(bytes.size());
    if (m_failed)
        return false;
    at = m_size;
    m_size += bytes.size();
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t done =
            pwrite(m_descriptor, bytes.data() + written, std::size_t(bytes.size() - written), at + written);
        if (done <= 0) {
            // Nothing written without an error is a disk with no room left.
            fail(done < 0 ? errno : ENOSPC);
            return false;
        }
        written += done;
    }
    return true;
}

void AnswerFile::fail(int error)
{
    m_failed = true;
    m_spool->writeFailed(error);
}

void AnswerFile::finish()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_descriptor = -1;
}

bool AnswerFile::read(qint64 at, qint64 size, QByteArray& into) const
{
    const int descriptor = open(m_path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat now = {};
    bool read = !m_checked || (fstat(descriptor, &now) == 0 && sameFile(now, m_identity));
    into.resize(size);
    for (qint64 done = 0; read && done < size;) {
        const ssize_t got = pread(descriptor, into.data() + done, std::size_t(size - done), at + done);
        read = got > 0;
        done += got;
    }
    close(descriptor);
    return read;
}

bool AnswerFile::sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}
