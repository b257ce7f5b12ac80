#pragma once

#include "storeaddress.h"

#include <chrono>
#include <functional>

struct sqlite3;

// While it lives, a statement on the SQLite connection that needs the store's write lock, which another connection
// of this process or of another one holds, waits for it as long as each writer before it lets go within `perWriter`,
// no longer than `whole` in all (the connection's own wait, StoreAddress, where a test may have it shorter), and no
// longer than its device stays: it then fails as SQLite fails a statement it gave up on. A writer is known to have let
// go by the store's data version, which each commit changes: so a crowd of syncs written one after another, each
// quickly, is waited through, and a write that holds the store for long is not. Once it goes, the connection waits as
// its address lets every statement wait.
class WriteLockWait
{
public:
    WriteLockWait(sqlite3* handle, std::chrono::milliseconds perWriter, const std::function<bool()>& abandoned,
                  std::chrono::milliseconds whole = StoreAddress::sqliteWriterWait);
    ~WriteLockWait();
    WriteLockWait(const WriteLockWait&) = delete;
    WriteLockWait& operator=(const WriteLockWait&) = delete;

private:
    using Clock = std::chrono::steady_clock;

    // SQLite's busy handler: whether to try for the lock again, after a short sleep.
    static int tryAgain(void* wait, int tries);
    // The store's data version as the connection saw it when it last tried for the lock.
    unsigned dataVersion() const;

    sqlite3* m_handle;
    std::chrono::milliseconds m_perWriter;
    const std::function<bool()> m_abandoned;
    Clock::time_point m_end;
    Clock::time_point m_writerDeadline;
    unsigned m_version;
};
