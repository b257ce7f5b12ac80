#pragma once

#include <QObject>
#include <QRect>

class QWidget;

// Qt makes a top-level window's native window anew when a child first needs the graphics stack (the browser view
// of a chart or report). The window manager takes the new one for a window that has never been placed: it puts
// it where it puts new windows, and it forgets that the old one was maximised. This keeps the window where the
// user left it, at its size, and maximised if it was.
class WindowPlacementKeeper : public QObject
{
    Q_OBJECT

public:
    // Keeps the placement of `window` through every later remaking of its native window; once per window.
    static void keep(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowPlacementKeeper(QWidget* window);

    QWidget* m_window;
    bool m_remaking = false;
    Qt::WindowStates m_states;
    QRect m_normalGeometry;
};
