#pragma once

#include <QString>

class QWidget;

// One process serves one book: switching books, restoring and importing start a new copy of the program with
// a verb and a file, and this copy ends only once the new one is running. The new copy's window takes the place of
// this copy's frame, its size and its maximised state.
class ProgramRestart
{
public:
    // Starts the new copy with `verb` and `file` and ends the event loop without closing the windows (so no
    // close-time sync or backup runs). When the copy cannot be started, tells the user and returns false; this
    // copy then goes on.
    static bool with(QWidget* parent, const QString& verb, const QString& file);
    // In a copy started by a restart, gives the window, before it is shown, the placement of the copy before.
    static void placeWindow(QWidget* window);
};
