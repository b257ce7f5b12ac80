#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>

// The JSON the service writes, in its answers and in its store: the program's own writer, with every control
// character it leaves raw (U+0000 to U+001F, U+007F to U+009F) escaped as \u00XX. A reader stops at a raw zero
// and a PostgreSQL text refuses one; escaped, such a text travels and is kept unchanged.
class ServiceJson
{
public:
    // Null when the writer cannot express the value.
    static QByteArray write(const QVariant& value);
    // Appends the UTF-8 text as a JSON string, escaped as write() escapes it.
    static void appendString(QByteArray& out, QByteArrayView text);
    // The bytes appendString() would append for the text, its quotes and escapes included.
    static qint64 stringSize(QByteArrayView text);
};
