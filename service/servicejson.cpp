#include "servicejson.h"

#include "online/jsoncodec.h"

namespace {
// The code of the control character whose UTF-8 form starts at `at`, with its length; -1 for any other.
int controlAt(QByteArrayView text, qsizetype at, qsizetype& length)
{
    const uchar c = uchar(text.at(at));
    length = 1;
    if (c < 0x20 || c == 0x7F)
        return c;
    // U+0080 to U+009F are C2 80 to C2 9F.
    if (c == 0xC2 && at + 1 < text.size()) {
        const uchar next = uchar(text.at(at + 1));
        if (next >= 0x80 && next <= 0x9F) {
            length = 2;
            return next;
        }
    }
    return -1;
}

void appendControl(QByteArray& out, int code)
{
    out += "\\u00" + QByteArray::number(code, 16).rightJustified(2, '0');
}

// The program's writer's own escape of the character, or nothing for one it writes as it is.
const char* writerEscape(char c)
{
    switch (c) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    }
    return nullptr;
}
} // namespace

QByteArray ServiceJson::write(const QVariant& value)
{
    const QByteArray written = JsonCodec::serialize(value);
    // The writer puts control characters only inside strings, so each one is replaced where it stands.
    QByteArray escaped;
    qsizetype copied = 0;
    for (qsizetype i = 0, length = 1; i < written.size(); i += length) {
        const int code = controlAt(written, i, length);
        if (code < 0)
            continue;
        escaped += QByteArrayView(written).sliced(copied, i - copied);
        appendControl(escaped, code);
        copied = i + length;
    }
    if (copied == 0)
        return written;
    return escaped.append(QByteArrayView(written).sliced(copied));
}

void ServiceJson::appendString(QByteArray& out, QByteArrayView text)
{
    out += '"';
    qsizetype copied = 0;
    for (qsizetype i = 0, length = 1; i < text.size(); i += length) {
        const char* escape = writerEscape(text.at(i));
        const int code = controlAt(text, i, length);
        if (!escape && code < 0)
            continue;
        out += text.sliced(copied, i - copied);
        if (escape)
            out += escape;
        else
            appendControl(out, code);
        copied = i + length;
    }
    out += text.sliced(copied);
    out += '"';
}

qint64 ServiceJson::stringSize(QByteArrayView text)
{
    // Two quotes, every byte as it stands, and what each escape adds: one byte for the writer's own, four more than
    // the character's bytes for \u00XX.
    qint64 size = 2 + text.size();
    for (qsizetype i = 0, length = 1; i < text.size(); i += length) {
        const char* escape = writerEscape(text.at(i));
        const int code = controlAt(text, i, length);
        if (escape)
            size += qint64(qstrlen(escape)) - length;
        else if (code >= 0)
            size += 6 - length;
    }
    return size;
}
