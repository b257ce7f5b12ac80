#pragma once

#include <QRect>

class QWidget;

// What the X server shows of a test's windows, for the tests that run again under a real window manager.
class WindowSystem
{
public:
    // How long a window manager and an X server on a busy machine may take to answer.
    static constexpr int answerMs = 60000;

    // Where the X server shows a window, whatever the program believes.
    static QRect geometry(const QWidget& window);
    // Shows a window while the screen is read, which holds up the window manager and so varies the order in which
    // it and the program hear of the new window; true once the window is exposed and the reading is done.
    static bool showWhileScreenIsRead(QWidget& window);
};
