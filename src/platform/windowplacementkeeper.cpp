#include "platform/windowplacementkeeper.h"

#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

void WindowPlacementKeeper::keep(QWidget* window)
{
    if (!window->findChild<WindowPlacementKeeper*>(QString(), Qt::FindDirectChildrenOnly))
        new WindowPlacementKeeper(window);
}

WindowPlacementKeeper::WindowPlacementKeeper(QWidget* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

bool WindowPlacementKeeper::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::PlatformSurface && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                                                        QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        m_remaking = true;
        m_states = m_window->windowState();
        m_normalGeometry = m_window->normalGeometry();
        // A position the program set is one the window manager keeps for a new native window.
        m_window->setAttribute(Qt::WA_Moved);
    } else if (event->type() == QEvent::WinIdChange && m_remaking && m_window->internalWinId()) {
        m_remaking = false;
        // The new native window is not shown yet: the manager maximises it as it shows it, and restores it later
        // to the geometry it had before.
        if (m_states & Qt::WindowMaximized) {
            QWindow* handle = m_window->windowHandle();
            handle->setGeometry(m_normalGeometry);
            handle->setWindowStates(m_states);
        }
    }
    return false;
}
