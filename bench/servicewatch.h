#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// What the bench watches of the service while a row runs, ten times a second: its peak resident memory, stopping it
// once it grows past a guard, and the lowest free space of the disk that holds a folder of its.
class ServiceWatch : public QObject
{
    Q_OBJECT

public:
    // `folder`: the one whose disk is watched; empty for none.
    ServiceWatch(qint64 pid, qint64 guardKb, const QString& folder = QString());

    // One look at the process and the disk; the watch's timer takes one every 100 ms.
    void sample();
    qint64 peakKb() const { return m_peakKb; }
    // Its resident memory now, 0 once it is gone.
    qint64 residentKb() const;
    // Whether the watch stopped the process for growing past the guard.
    bool stopped() const { return m_stopped; }
    // The descriptors the process has open now, sockets and pipes included; -1 once it is gone.
    int descriptors() const;
    // The size of the folder's disk, and the least of it seen free, in bytes.
    qint64 diskBytes() const { return m_diskBytes; }
    qint64 lowestFreeBytes() const { return m_lowestFree; }

private:
    qint64 m_pid;
    qint64 m_guardKb;
    QString m_folder;
    QTimer m_timer;
    qint64 m_peakKb = 0;
    bool m_stopped = false;
    qint64 m_diskBytes = 0;
    qint64 m_lowestFree = -1;
};
