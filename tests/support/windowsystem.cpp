#include "windowsystem.h"

#include <QHash>
#include <QProcess>
#include <QTest>
#include <QWidget>

QRect WindowSystem::geometry(const QWidget& window)
{
    QProcess info;
    info.start("xdotool", {"getwindowgeometry", "--shell", QString::number(window.winId())});
    info.waitForFinished(answerMs);
    QHash<QString, int> value;
    for (const QString& line : QString(info.readAllStandardOutput()).split('\n'))
        value.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return QRect(value["X"], value["Y"], value["WIDTH"], value["HEIGHT"]);
}

bool WindowSystem::showWhileScreenIsRead(QWidget& window)
{
    QProcess grab;
    grab.start("import", {"-window", "root", "png:/dev/null"});
    window.show();
    return QTest::qWaitForWindowExposed(&window, answerMs) &&
           QTest::qWaitFor([&grab] { return grab.state() == QProcess::NotRunning; }, answerMs);
}
