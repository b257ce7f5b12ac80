#include "formdata.h"

namespace {
QString decode(QByteArray text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.replace('+', ' ')));
}
} // namespace

FormData::FormData(const QByteArray& body)
{
    for (const QByteArray& pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const int equals = pair.indexOf('=');
        if (equals < 0)
            m_fields.insert(decode(pair), QString());
        else
            m_fields.insert(decode(pair.left(equals)), decode(pair.mid(equals + 1)));
    }
}
