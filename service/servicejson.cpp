#include "servicejson.h"

#include "online/jsoncodec.h"

namespace {
// The code of the control character whose UTF-8 form starts at `at`, with its length; -1 for any other.
int controlAt(const QByteArray& text, qsizetype at, qsizetype& length)
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
        escaped += "\\u00" + QByteArray::number(code, 16).rightJustified(2, '0');
        copied = i + length;
    }
    if (copied == 0)
        return written;
    return escaped.append(QByteArrayView(written).sliced(copied));
}
