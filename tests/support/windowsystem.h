#pragma once

#include <QHash>
#include <QProcess>
#include <QTest>
#include <QWidget>

// What the X server shows of a test's windows, for the tests that run again under a real window manager.

// How long a window manager and an X server on a busy machine may take to answer.
constexpr int windowSystemMs = 60000;

// Where the X server shows a window, whatever the program believes.
inline QRect windowSystemGeometry(const QWidget& window)
{
    QProcess info;
    info.start("xdotool", {"getwindowgeometry", "--shell", QString::number(window.winId())});
    info.waitForFinished(windowSystemMs);
    QHash<QString, int> value;
    for (const QString& line : QString(info.readAllStandardOutput()).split('\n'))
        value.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return QRect(value["X"], value["Y"], value["WIDTH"], value["HEIGHT"]);
}

// Shows a window while the screen is read, which holds up the window manager and so varies the order in which it
// and the program hear of the new window; true once the window is exposed and the reading is done.
inline bool showWhileScreenIsRead(QWidget& window)
{
    QProcess grab;
    grab.start("import", {"-window", "root", "png:/dev/null"});
    window.show();
    return QTest::qWaitForWindowExposed(&window, windowSystemMs) &&
           QTest::qWaitFor([&grab] { return grab.state() == QProcess::NotRunning; }, windowSystemMs);
}
