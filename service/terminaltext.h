#pragma once

#include <QString>

// Text the service writes on the operator's terminal, where a control character would break a line in two or move
// the cursor: a name or an option's value printed there holds none of them as they are.
class TerminalText
{
public:
    // Whether the text holds a character below U+0020, or U+007F.
    static bool holdsControl(const QString& text);
    // A value as the operator could type it again in a shell, on one line: as it is when it holds no blank, in
    // quotes when it does or is empty, and as $'...' with its control characters escaped (\n, \t, \x01) when it
    // holds any.
    static QString quoted(const QString& value);
};
