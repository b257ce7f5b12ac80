#pragma once

#include <QString>

#include <functional>
#include <thread>

// A gate on the reads of a file by other processes, for faults that must come at a point of a process's work that
// only its reads tell, whatever the machine's pace: each read waits while a function of the test's runs, in the
// gate's own thread. Only root may watch a file so (fanotify's permission events).
class ReadGate
{
public:
    ReadGate(const QString& path, std::function<void()> atRead);
    ~ReadGate();
    ReadGate(const ReadGate&) = delete;
    ReadGate& operator=(const ReadGate&) = delete;

    bool isWatching() const { return m_thread.joinable(); }

private:
    void watch();

    std::function<void()> m_atRead;
    int m_watch = -1;
    // A pipe whose write end tells the gate's thread to end.
    int m_end[2] = {-1, -1};
    std::thread m_thread;
};
