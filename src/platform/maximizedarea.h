#pragma once

#include <QByteArray>
#include <QRect>

class QWidget;

// A frameless window has no window manager frame to tell the system how large it may grow: this keeps a
// maximised frameless window within its screen's available area, so the task bar and panels stay visible.
class MaximizedArea
{
public:
    // The screen area without task bars and panels of the screen the window is on.
    static QRect of(const QWidget* window);
    // Limits the window's size to the area, so that a maximised window fills it and no more. Call it after every
    // change of the window's state.
    static void fit(QWidget* window);
    // Answers Windows' question for the maximised size and position and the largest size a drag may reach
    // (WM_GETMINMAXINFO); false for every other message and on every other system.
    static bool answerNativeEvent(QWidget* window, const QByteArray& eventType, void* message, qintptr* result);
};
