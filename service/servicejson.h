#pragma once

#include <QByteArray>
#include <QVariant>

// The JSON the service writes, in its answers and in its store: the program's own writer, with every control
// character it leaves raw (U+0000 to U+001F, U+007F to U+009F) escaped as \u00XX. A reader stops at a raw zero
// and a PostgreSQL text refuses one; escaped, such a text travels and is kept unchanged.
class ServiceJson
{
public:
    // Null when the writer cannot express the value.
    static QByteArray write(const QVariant& value);
};
