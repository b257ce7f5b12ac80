#include "data/booklock.h"

#include <QLockFile>
#include <memory>

namespace {
// Let go of when the process ends.
std::unique_ptr<QLockFile> held;
QString heldBook;
} // namespace

bool BookLock::acquire(const QString& book, std::chrono::milliseconds wait)
{
    if (held && heldBook == book)
        return true;
    release();
    auto lock = std::make_unique<QLockFile>(book + ".lock");
    // A copy may keep its book open for days: only a lock whose copy no longer runs is stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(int(wait.count())))
        return false;
    held = std::move(lock);
    heldBook = book;
    return true;
}

bool BookLock::isHeldElsewhere(const QString& book)
{
    if (held && heldBook == book)
        return false;
    QLockFile lock(book + ".lock");
    lock.setStaleLockTime(0);
    return !lock.tryLock(0);
}

void BookLock::release()
{
    held.reset();
    heldBook.clear();
}
