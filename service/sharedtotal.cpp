#include "sharedtotal.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Processes share the number through the page they all map, which only a lock-free atomic may live in.
static_assert(std::atomic<qint64>::is_always_lock_free && sizeof(std::atomic<qint64>) == sizeof(qint64));

SharedTotal::~SharedTotal()
{
    if (m_total)
        munmap(m_total, sizeof(qint64));
}

bool SharedTotal::open(const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return false;
    struct stat status = {};
    bool ready = fstat(descriptor, &status) == 0;
    // Written rather than only sized: a mapped page the disk has not given yet would end the process, instead of
    // failing a call, when it is changed on a full disk.
    if (ready && status.st_size < qint64(sizeof(qint64))) {
        const qint64 zero = 0;
        ready = pwrite(descriptor, &zero, sizeof zero, 0) == sizeof zero;
    }
    void* mapped =
        ready ? mmap(nullptr, sizeof(qint64), PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0) : MAP_FAILED;
    const int error = errno;
    close(descriptor);
    errno = error;
    if (mapped == MAP_FAILED)
        return false;
    m_total = static_cast<std::atomic<qint64>*>(mapped);
    return true;
}

bool SharedTotal::add(qint64 amount, qint64 limit)
{
    qint64 total = m_total->load();
    do {
        if (total + amount > limit)
            return false;
    } while (!m_total->compare_exchange_weak(total, total + amount));
    return true;
}

void SharedTotal::subtract(qint64 amount)
{
    m_total->fetch_sub(amount);
}

void SharedTotal::reset()
{
    m_total->store(0);
}
