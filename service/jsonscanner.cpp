#include "jsonscanner.h"

#include <cstring>

namespace {
// Text from the network: a value nested this deep is refused rather than followed down the stack.
const int maxDepth = 512;

// Four hexadecimal digits; any other group reads as 0, as the program's reader has it.
char32_t hexUnit(QByteArrayView digits)
{
    char32_t unit = 0;
    for (const char c : digits) {
        const int digit = JsonScanner::hexDigit(c);
        if (digit < 0)
            return 0;
        unit = unit * 16 + char32_t(digit);
    }
    return unit;
}

bool isHigh(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLow(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(QByteArray& out, char32_t code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}
} // namespace

int JsonScanner::hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool JsonScanner::open(char bracket)
{
    if (peek() != bracket)
        return false;
    ++m_at;
    return true;
}

bool JsonScanner::next(char closing)
{
    for (;;) {
        const char c = peek();
        if (c == 0)
            return fail();
        if (c != ',' && c != closing)
            return true;
        ++m_at;
        if (c == closing)
            return false;
    }
}

bool JsonScanner::colon()
{
    if (peek() != ':')
        return false;
    ++m_at;
    return true;
}

bool JsonScanner::readString(QByteArray* out)
{
    if (peek() != '"')
        return false;
    ++m_at;
    while (m_at < m_text.size()) {
        qsizetype end = m_at;
        while (end < m_text.size() && m_text.at(end) != '"' && m_text.at(end) != '\\')
            ++end;
        if (out)
            out->append(m_text.sliced(m_at, end - m_at));
        m_at = end;
        if (end == m_text.size())
            break;
        if (m_text.at(end) == '"') {
            ++m_at;
            return true;
        }
        if (!escape(out))
            return fail();
    }
    return fail();
}

bool JsonScanner::escape(QByteArray* out)
{
    ++m_at;
    if (m_at == m_text.size())
        return false;
    const char e = m_text.at(m_at++);
    char plain = 0;
    switch (e) {
    case '"':
    case '\\':
    case '/':
        plain = e;
        break;
    case 'b':
        plain = '\b';
        break;
    case 'f':
        plain = '\f';
        break;
    case 'n':
        plain = '\n';
        break;
    case 'r':
        plain = '\r';
        break;
    case 't':
        plain = '\t';
        break;
    case 'u': {
        if (m_text.size() - m_at < 4)
            return false;
        char32_t code = hexUnit(m_text.sliced(m_at, 4));
        m_at += 4;
        const QByteArrayView after = m_text.sliced(m_at).first(qMin<qsizetype>(6, m_text.size() - m_at));
        if (isHigh(code) && after.size() == 6 && after.startsWith("\\u") && isLow(hexUnit(after.sliced(2)))) {
            code = 0x10000 + ((code - 0xD800) << 10) + (hexUnit(after.sliced(2)) - 0xDC00);
            m_at += 6;
        } else if (isHigh(code) || isLow(code)) {
            code = '?';
        }
        if (out)
            appendUtf8(*out, code);
        return true;
    }
    default:
        return true; // an unknown escape drops both characters
    }
    if (out)
        out->append(plain);
    return true;
}

bool JsonScanner::skip(int depth)
{
    if (depth > maxDepth)
        return fail();
    const char c = peek();
    if (c == '"')
        return readString(nullptr);
    if (c == '[' || c == '{') {
        const char closing = c == '[' ? ']' : '}';
        ++m_at;
        while (next(closing)) {
            if (c == '{' && !(readString(nullptr) && colon()))
                return fail();
            if (!skip(depth + 1))
                return false;
        }
        return !m_failed;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        while (m_at < m_text.size() && QByteArrayView("0123456789+-.eE").contains(m_text.at(m_at)))
            ++m_at;
        return true;
    }
    for (const char* keyword : {"true", "false", "null"}) {
        if (m_text.sliced(m_at).startsWith(keyword)) {
            m_at += qsizetype(strlen(keyword));
            return true;
        }
    }
    return fail();
}

char JsonScanner::peek()
{
    while (m_at < m_text.size()) {
        const char c = m_text.at(m_at);
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return c;
        ++m_at;
    }
    return 0;
}

bool JsonScanner::fail()
{
    m_failed = true;
    return false;
}
