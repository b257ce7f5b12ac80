#include "readgate.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

ReadGate::ReadGate(const QString& path, std::function<void()> atRead) : m_atRead(std::move(atRead))
{
    m_watch = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
    if (m_watch < 0 || pipe2(m_end, O_CLOEXEC) != 0 ||
        fanotify_mark(m_watch, FAN_MARK_ADD, FAN_ACCESS_PERM, AT_FDCWD, QFile::encodeName(path).constData()) != 0)
        return;
    m_thread = std::thread([this] { watch(); });
}

ReadGate::~ReadGate()
{
    if (m_thread.joinable()) {
        // The pipe is empty: its byte goes in.
        const char end = 0;
        [[maybe_unused]] const ssize_t told = write(m_end[1], &end, 1);
        m_thread.join();
    }
    // Reads still waiting go on once the watch is closed.
    for (const int fd : {m_watch, m_end[0], m_end[1]}) {
        if (fd >= 0)
            close(fd);
    }
}

void ReadGate::watch()
{
    pollfd waited[] = {{m_watch, POLLIN, 0}, {m_end[0], POLLIN, 0}};
    alignas(fanotify_event_metadata) char events[4096];
    while (poll(waited, 2, -1) > 0 && !(waited[1].revents & POLLIN)) {
        ssize_t length = read(m_watch, events, sizeof events);
        for (auto* event = reinterpret_cast<fanotify_event_metadata*>(events); FAN_EVENT_OK(event, length);
             event = FAN_EVENT_NEXT(event, length)) {
            if (event->pid != getpid())
                m_atRead();
            const fanotify_response allowed{event->fd, FAN_ALLOW};
            const bool answered = write(m_watch, &allowed, sizeof allowed) == sizeof allowed;
            close(event->fd);
            if (!answered)
                return;
        }
    }
}
