#include "terminaltext.h"

#include <algorithm>

namespace {
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) || c.unicode() == 0x2028 ||
           c.unicode() == 0x2029;
}
} // namespace

bool TerminalText::holdsControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), isControl);
}

QString TerminalText::quoted(const QString& value)
{
    if (!holdsControl(value))
        return !value.isEmpty() && !value.contains(' ') ? value : "'" + value + "'";
    QString escaped;
    for (const QChar c : value) {
        if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\\' || c == '\'')
            escaped += QString('\\') + c;
        // A shell's \x makes a byte, which is a character in ASCII alone: beyond it, \u and four digits.
        else if (isControl(c))
            escaped += c.unicode() < 0x80 ? QString("\\x%1").arg(c.unicode(), 2, 16, QChar('0'))
                                          : QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            escaped += c;
    }
    return "$'" + escaped + "'";
}
