#include "online/datecheckthread.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimeZone>
#include <QTimer>

namespace {
const int waitMsecs = 30000;
const int stopCheckMsecs = 1000;
const char* stampFormat = "yyyy-MM-dd hh:mm:ss";
} // namespace

DateCheckThread::DateCheckThread(QObject* parent) : QThread(parent) {}

DateCheckThread::~DateCheckThread()
{
    // Destroying a running QThread aborts the program.
    requestInterruption();
    wait();
}

void DateCheckThread::run()
{
    for (const TimeServers::Endpoint& server : TimeServers::list()) {
        if (isInterruptionRequested())
            return;
        // A reply that holds no time is no answer: the next server may give one.
        const QDateTime network = networkTime(ask(server));
        if (!network.isValid())
            continue;
        const QString text = warning(QDateTime::currentDateTimeUtc(), network);
        if (!text.isEmpty())
            emit incorrectDate(text);
        return;
    }
}

QByteArray DateCheckThread::ask(const TimeServers::Endpoint& server)
{
    QTcpSocket socket;
    socket.connectToHost(server.host, server.port);
    if (!waitUntil(
            socket, [&] { return socket.state() == QAbstractSocket::ConnectedState; }, waitMsecs) ||
        !waitUntil(
            socket, [&] { return socket.bytesAvailable() > 0; }, waitMsecs))
        return {};
    return socket.readAll();
}

bool DateCheckThread::waitUntil(QTcpSocket& socket, const std::function<bool()>& reached, int msecs)
{
    // The socket's own blocking waits cannot be cut into slices (a timed-out connect is abandoned), so the
    // socket's signals and a short timer wake a local loop instead.
    const QDeadlineTimer deadline(msecs);
    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    connect(&socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
    connect(&socket, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit);
    while (!reached()) {
        if (isInterruptionRequested() || deadline.hasExpired() || socket.state() == QAbstractSocket::UnconnectedState)
            return false;
        wake.start(int(qMin<qint64>(stopCheckMsecs, deadline.remainingTime())));
        loop.exec();
    }
    return true;
}

QDateTime DateCheckThread::networkTime(const QByteArray& reply)
{
    QByteArray text = reply;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const QString stamp = "20" + QString::fromLatin1(text).trimmed().section(' ', 1, 2);
    const QDate date = QDate::fromString(stamp.section(' ', 0, 0), "yyyy-MM-dd");
    const QTime time = QTime::fromString(stamp.section(' ', 1, 1), "hh:mm:ss");
    // Built in UTC directly: read as local time, a stamp inside a daylight-saving gap would be invalid.
    return date.isValid() && time.isValid() ? QDateTime(date, time, QTimeZone::utc()) : QDateTime();
}

QString DateCheckThread::warning(const QDateTime& computerUtc, const QDateTime& network)
{
    if (network.date().daysTo(computerUtc.date()) == 0)
        return {};
    return tr("您电脑的时间和网络时间不一致，请检查。\n电脑时间：") + computerUtc.toString(stampFormat) +
           tr("\n网络时间：") + network.toString(stampFormat);
}
