#pragma once

#include <QString>
#include <chrono>

// Each running copy of the program holds a lock file beside its open book, so that no other copy replaces the
// book under it: a copy whose book was replaced writes on into the deleted file and loses all it writes. The
// lock of a copy that crashed counts as free.
class BookLock
{
public:
    enum class Outcome
    {
        // This process holds the lock, also when it did already.
        Held,
        HeldElsewhere,
        // The lock file cannot be written beside the book: the folder is full or read-only.
        Unwritable,
    };

    // Takes the lock of the book for this process, letting go of any other book's lock it held. The program
    // restarts itself by starting a new copy before the old one quits, so the new copy waits a little for the
    // old one to let go.
    static Outcome acquire(const QString& book, std::chrono::milliseconds wait = restartWait);
    static void release();
    // Whether another running copy holds the lock of the book; never true of the book this process holds.
    static bool isHeldElsewhere(const QString& book);

    // Tests shorten it.
    inline static std::chrono::milliseconds restartWait{5000};
};
