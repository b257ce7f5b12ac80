#include "writelockwait.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace {
// How long the wait sleeps before it tries for the lock again: short, so that it takes the lock soon after the writer
// before it lets go, and notices its device gone well within the 10 ms in which a sync's other waits do.
const std::chrono::milliseconds retryAfter(2);
} // namespace

WriteLockWait::WriteLockWait(sqlite3* handle, std::chrono::milliseconds perWriter,
                             const std::function<bool()>& abandoned, std::chrono::milliseconds whole)
    : m_handle(handle), m_perWriter(perWriter), m_abandoned(abandoned), m_end(Clock::now() + whole),
      m_writerDeadline(Clock::now() + perWriter), m_version(dataVersion())
{
    sqlite3_busy_handler(m_handle, &WriteLockWait::tryAgain, this);
}

WriteLockWait::~WriteLockWait()
{
    sqlite3_busy_timeout(m_handle, int(StoreAddress::sqliteWriterWait.count()));
}

unsigned WriteLockWait::dataVersion() const
{
    unsigned version = 0;
    sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

int WriteLockWait::tryAgain(void* wait, int)
{
    auto* self = static_cast<WriteLockWait*>(wait);
    const Clock::time_point now = Clock::now();
    // SQLite looks at the store afresh before each try: a commit since the last one means the writer before this
    // one let go, and the next has its own time.
    if (const unsigned version = self->dataVersion(); version != self->m_version) {
        self->m_version = version;
        self->m_writerDeadline = now + self->m_perWriter;
    }
    const Clock::time_point deadline = std::min(self->m_writerDeadline, self->m_end);
    if (now >= deadline || self->m_abandoned())
        return 0;
    std::this_thread::sleep_for(std::min<Clock::duration>(retryAfter, deadline - now));
    return 1;
}
