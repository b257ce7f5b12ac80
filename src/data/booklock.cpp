#include "data/booklock.h"

#include <QLockFile>
#include <memory>

namespace {
// Let go of when the process ends.
std::unique_ptr<QLockFile> held;
QString heldBook;
} // namespace

BookLock::Outcome BookLock::acquire(const QString& book, std::chrono::milliseconds wait)
{
    if (held && heldBook == book)
        return Outcome::Held;
    release();
    auto lock = std::make_unique<QLockFile>(book + ".lock");
    // A copy may keep its book open for days: only a lock whose copy no longer runs is stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(int(wait.count())))
        return lock->error() == QLockFile::LockFailedError ? Outcome::HeldElsewhere : Outcome::Unwritable;
    held = std::move(lock);
    heldBook = book;
    return Outcome::Held;
}

bool BookLock::isHeldElsewhere(const QString& book)
{
    if (held && heldBook == book)
        return false;
    QLockFile lock(book + ".lock");
    lock.setStaleLockTime(0);
    // A lock file that cannot be written is held by nobody: a running copy's lock would be there to read.
    return !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError;
}

void BookLock::release()
{
    held.reset();
    heldBook.clear();
}
