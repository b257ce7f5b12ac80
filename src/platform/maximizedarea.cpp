#include "platform/maximizedarea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QRect MaximizedArea::of(const QWidget* window)
{
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void MaximizedArea::fit(QWidget* window)
{
    const QRect area = of(window);
    if (area.isEmpty())
        return;
    // A screen smaller than the window's minimum cannot hold it anyway; the minimum wins. Only the limit is set:
    // placing a maximised window is the window manager's part, and moving it ourselves would make the manager
    // take it for a normal window that then has no earlier geometry to return to.
    window->setMaximumSize(area.size().expandedTo(window->minimumSize()));
}

bool MaximizedArea::answerNativeEvent(QWidget* window, const QByteArray& eventType, void* message, qintptr* result)
{
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG")
        return false;
    MSG* msg = static_cast<MSG*>(message);
    if (msg->message != WM_GETMINMAXINFO)
        return false;
    // The system works in device pixels, relative to the monitor's own top-left corner.
    const qreal ratio = window->devicePixelRatioF();
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area = of(window);
    const QPoint offset = area.topLeft() - screen->geometry().topLeft();
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(msg->lParam);
    info->ptMaxSize.x = LONG(area.width() * ratio);
    info->ptMaxSize.y = LONG(area.height() * ratio);
    info->ptMaxPosition.x = LONG(offset.x() * ratio);
    info->ptMaxPosition.y = LONG(offset.y() * ratio);
    info->ptMaxTrackSize = info->ptMaxSize;
    *result = 0;
    return true;
#else
    Q_UNUSED(window)
    Q_UNUSED(eventType)
    Q_UNUSED(message)
    Q_UNUSED(result)
    return false;
#endif
}
