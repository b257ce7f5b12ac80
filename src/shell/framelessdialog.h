#pragma once

#include <QSize>
#include <QString>

class QDialog;
class QWidget;

// Gives a dialog that has no form of its own the program's dialog frame: no system frame, the style sheet's
// dialog look, a title bar that drags and closes it, and an empty body below it, which this returns.
class FramelessDialog
{
public:
    static QWidget* frame(QDialog* dialog, const QString& title, const QSize& size);
};
