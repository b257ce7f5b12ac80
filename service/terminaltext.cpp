#include "terminaltext.h"

#include "utf8bytes.h"

#include <algorithm>

namespace {
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) || c.unicode() == 0x2028 ||
           c.unicode() == 0x2029;
}

// A blank that looks like the space a shell splits words at, and is not: shown as it is, the operator could not see
// it, nor type it again.
bool isOtherBlank(QChar c)
{
    return c.isSpace() && c != ' ';
}

bool isEscaped(QChar c)
{
    return isControl(c) || isOtherBlank(c);
}

// The code as a shell's escape writes it: "\x" and two hexadecimal digits, or "\u" and four.
QString hexEscape(const char* prefix, uint code, int digits)
{
    return prefix + QString("%1").arg(code, digits, 16, QChar('0'));
}

// The character as it stands between $'...' quotes.
QString escaped(QChar c)
{
    if (c == '\n')
        return "\\n";
    if (c == '\t')
        return "\\t";
    if (c == '\\' || c == '\'')
        return QString('\\') + c;
    if (!isEscaped(c))
        return c;
    // A shell's \x makes a byte, which is a character in ASCII alone: beyond it, \u and four digits.
    return c.unicode() < 0x80 ? hexEscape("\\x", c.unicode(), 2) : hexEscape("\\u", c.unicode(), 4);
}
} // namespace

bool TerminalText::holdsControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), isControl);
}

QString TerminalText::quoted(const QString& value)
{
    if (std::none_of(value.cbegin(), value.cend(), isEscaped))
        return !value.isEmpty() && !value.contains(' ') ? value : "'" + value + "'";
    QString shown;
    for (const QChar c : value)
        shown += escaped(c);
    return "$'" + shown + "'";
}

QString TerminalText::quotedBytes(QByteArrayView bytes)
{
    if (Utf8Bytes::isValid(bytes))
        return quoted(QString::fromUtf8(bytes));
    QString shown;
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = Utf8Bytes::characterAt(bytes, at);
        if (length == 0) {
            shown += hexEscape("\\x", uchar(bytes.at(at)), 2);
            ++at;
            continue;
        }
        for (const QChar c : QString::fromUtf8(bytes.sliced(at, length)))
            shown += escaped(c);
        at += length;
    }
    return "$'" + shown + "'";
}
