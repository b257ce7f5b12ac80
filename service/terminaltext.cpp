#include "terminaltext.h"

#include <algorithm>

namespace {
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
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
        else if (isControl(c))
            escaped += QString("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else
            escaped += c;
    }
    return "$'" + escaped + "'";
}
