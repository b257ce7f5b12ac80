#pragma once

#include <QByteArrayView>
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
    // quotes when it does or is empty, and as $'...' when it holds a control character or a blank other than the
    // space (U+00A0, U+3000), which looks like one: those escaped (\n, \t, \x01, \u0085, \u3000).
    static QString quoted(const QString& value);
    // The same for bytes as the operator gave them, each byte that is no part of a UTF-8 character escaped as \xff,
    // which a shell's $'...' makes that byte again.
    static QString quotedBytes(QByteArrayView bytes);
};
