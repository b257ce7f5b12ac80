#include "syncrun.h"

#include "online/synchelper.h"

#include <QDateTime>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

QString SyncRun::toEnd(int timeoutMs)
{
    SyncHelper* engine = SyncHelper::getInstance();
    QSignalSpy finished(engine, &SyncHelper::syncFinished);
    QSignalSpy errors(engine, &SyncHelper::syncError);
    // An event loop rather than polling with pauses, which would slow a large transfer down many times.
    QEventLoop loop;
    QObject::connect(engine, &SyncHelper::syncFinished, &loop, &QEventLoop::quit);
    QObject::connect(engine, &SyncHelper::syncError, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!engine->sync())
        return "refused";
    if (finished.isEmpty() && errors.isEmpty())
        loop.exec();
    if (finished.isEmpty() && errors.isEmpty())
        return "no end";
    QTest::qWait(20); // a second end signal would come meanwhile
    if (finished.size() + errors.size() > 1)
        return "more than one end";
    return finished.isEmpty() ? errors.at(0).at(0).toString() + "|" + errors.at(0).at(1).toString() : "finished";
}

bool SyncRun::nextSecond()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    return QTest::qWaitFor([now] { return QDateTime::currentSecsSinceEpoch() > now; }, 2000);
}
