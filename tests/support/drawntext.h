#pragma once

#include <QStringList>

class QWidget;

// The texts that painting a widget draws, in drawing order: what the user can read of it, elisions included.
class DrawnText
{
public:
    static QStringList of(QWidget* widget);
};
