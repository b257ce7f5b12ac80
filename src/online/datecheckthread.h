#pragma once

#include "platform/timeservers.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QThread>

#include <functional>

class QTcpSocket;

// Once per run, asks network time servers (daytime protocol) for the time, one after the other until one
// answers, and warns through incorrectDate() when the computer's UTC date differs from the network's. The
// blocking waits stay on this thread; a check under way stops within a second when the thread is destroyed.
class DateCheckThread : public QThread
{
    Q_OBJECT

public:
    explicit DateCheckThread(QObject* parent = nullptr);
    ~DateCheckThread() override;

    // The time of a daytime reply ("60374 24-03-05 08:15:42 00 0 0 0.0 UTC(...) *"), in UTC; invalid when the
    // reply holds none.
    static QDateTime networkTime(const QByteArray& reply);
    // The warning when the two calendar dates differ; empty when they agree, whatever the times of day.
    static QString warning(const QDateTime& computerUtc, const QDateTime& network);

signals:
    void incorrectDate(QString message);

protected:
    void run() override;

private:
    // What the server sends first; empty when it sends nothing in time or the check is being stopped.
    QByteArray ask(const TimeServers::Endpoint& server);
    // Waits up to `msecs` for `reached`, waking at least once a second to see whether the check must stop.
    bool waitUntil(QTcpSocket& socket, const std::function<bool()>& reached, int msecs);
};
