#pragma once

#include <QString>

class QWidget;

// One process serves one book: switching books, restoring and importing start a new copy of the program with
// a verb and a file, and this copy ends only once the new one is running.
class ProgramRestart
{
public:
    // Starts the new copy with `verb` and `file` and ends the event loop without closing the windows (so no
    // close-time sync or backup runs). When the copy cannot be started, tells the user and returns false; this
    // copy then goes on.
    static bool with(QWidget* parent, const QString& verb, const QString& file);
};
