#include "formdata.h"

#include "jsonscanner.h"

FormData::FormData(QByteArray body, int maxFields) : m_text(std::move(body))
{
    qsizetype written = 0;
    qsizetype from = 0;
    for (int fields = 0; fields < maxFields; ++fields) {
        while (from < m_text.size() && m_text.at(from) == '&')
            ++from;
        if (from == m_text.size())
            break;
        qsizetype end = m_text.indexOf('&', from);
        if (end < 0)
            end = m_text.size();
        // The "=" is looked for within the field alone: searched for to the end of the body, each of many fields
        // without one would read the rest of the body again.
        const qsizetype equals = QByteArrayView(m_text).sliced(from, end - from).indexOf('=');
        const qsizetype nameEnd = equals < 0 ? end : from + equals;
        const QString name = QString::fromUtf8(decode(from, nameEnd, written));
        const qsizetype valueAt = written;
        const qsizetype valueSize = nameEnd < end ? decode(nameEnd + 1, end, written).size() : 0;
        m_fields.insert(name, {valueAt, valueSize});
        from = end;
    }
}

QString FormData::value(const QString& name) const
{
    const auto field = m_fields.constFind(name);
    return field == m_fields.cend() ? QString() : QString::fromUtf8(bytes(name));
}

QByteArrayView FormData::bytes(const QString& name) const
{
    const auto field = m_fields.constFind(name);
    if (field == m_fields.cend())
        return QByteArrayView();
    return QByteArrayView(m_text).sliced(field->first, field->second);
}

QByteArrayView FormData::decode(qsizetype from, qsizetype to, qsizetype& written)
{
    // Decoded text is never longer than its encoding, so it overwrites only what was read already.
    char* text = m_text.data();
    const qsizetype start = written;
    for (qsizetype i = from; i < to; ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%' && i + 2 < to && JsonScanner::hexDigit(text[i + 1]) >= 0 &&
                   JsonScanner::hexDigit(text[i + 2]) >= 0) {
            c = char(JsonScanner::hexDigit(text[i + 1]) * 16 + JsonScanner::hexDigit(text[i + 2]));
            i += 2;
        }
        text[written++] = c;
    }
    return QByteArrayView(text + start, written - start);
}
