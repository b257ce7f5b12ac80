#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// The program's own JSON reader and writer over QVariant: objects are QVariantMap, arrays QVariantList, strings
// QString, numbers an integer type, double or (when they fit no number type) QString, true/false bool and null an
// invalid QVariant. The reader is lenient: commas may be missing or repeated, keywords are matched by their
// letters only and whatever follows the first value is ignored. The writer is strict: a value it cannot express
// (a non-finite double, a type without a text form) makes the whole result null.
namespace JsonCodec {

QVariant parse(const QString& json);
QVariant parse(const QString& json, bool& success);

QByteArray serialize(const QVariant& data);
QByteArray serialize(const QVariant& data, bool& success);
QString serializeStr(const QVariant& data);
QString serializeStr(const QVariant& data, bool& success);

// Formats of written dates and date-times; empty (Qt's text-date form) unless set.
QString getDateFormat();
void setDateFormat(const QString& format);
QString getDateTimeFormat();
void setDateTimeFormat(const QString& format);

} // namespace JsonCodec
