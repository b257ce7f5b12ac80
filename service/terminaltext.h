#pragma once

#include <QString>

// Text the service writes on the operator's terminal, where a control character would break a line in two or move
// the cursor: a name or an option's value printed there holds none of them as they are. Those of Latin-1's upper half
// count too (U+0085 ends a line, U+009B starts an escape sequence on a terminal that reads 8-bit controls), and so do
// Unicode's line and paragraph separators.
class TerminalText
{
public:
    // Whether the text holds a character below U+0020, from U+007F to U+009F, U+2028 or U+2029.
    static bool holdsControl(const QString& text);
    // A value as the operator could type it again in a shell, on one line: as it is when it holds no blank, in
    // quotes when it does or is empty, and as $'...' with its control characters escaped (\n, \t, \x01, \u0085)
    // when it holds any.
    static QString quoted(const QString& value);
};
