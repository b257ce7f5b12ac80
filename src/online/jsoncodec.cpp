#include "online/jsoncodec.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>

namespace JsonCodec {

namespace {

enum Token
{
    TokenNone,
    TokenCurlyOpen,
    TokenCurlyClose,
    TokenSquaredOpen,
    TokenSquaredClose,
    TokenColon,
    TokenComma,
    TokenString,
    TokenNumber,
    TokenTrue,
    TokenFalse,
    TokenNull
};

// Answers come from the network: a text of thousands of nested brackets must fail, not exhaust the stack.
const int maxDepth = 512;

QString dateFormat;
QString dateTimeFormat;

void eatWhitespace(const QString& json, int& index)
{
    for (; index < json.size(); ++index) {
        const QChar c = json.at(index);
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            break;
    }
}

int nextToken(const QString& json, int& index)
{
    eatWhitespace(json, index);
    if (index == json.size())
        return TokenNone;

    const QChar c = json.at(index++);
    switch (c.unicode()) {
    case '{':
        return TokenCurlyOpen;
    case '}':
        return TokenCurlyClose;
    case '[':
        return TokenSquaredOpen;
    case ']':
        return TokenSquaredClose;
    case ':':
        return TokenColon;
    case ',':
        return TokenComma;
    case '"':
        return TokenString;
    case '-':
        return TokenNumber;
    }
    if (c >= '0' && c <= '9')
        return TokenNumber;

    --index;
    const int remaining = json.size() - index;
    if (remaining < 4)
        return TokenNone;
    if (QStringView(json).mid(index, 4) == u"true") {
        index += 4;
        return TokenTrue;
    }
    if (remaining >= 5 && QStringView(json).mid(index, 5) == u"false") {
        index += 5;
        return TokenFalse;
    }
    if (QStringView(json).mid(index, 4) == u"null") {
        index += 4;
        return TokenNull;
    }
    return TokenNone;
}

int lookAhead(const QString& json, int index)
{
    return nextToken(json, index);
}

bool isHexDigit(QChar c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Four hexadecimal digits; any other group (a sign or an "0x" included) reads as 0.
ushort hexUnit(QStringView digits)
{
    if (!std::all_of(digits.begin(), digits.end(), isHexDigit))
        return 0;
    return digits.toUShort(nullptr, 16);
}

QVariant parseString(const QString& json, int& index, bool& success)
{
    QString s;
    eatWhitespace(json, index);
    ++index; // the opening quote, whatever stands there

    while (index < json.size()) {
        const QChar c = json.at(index++);
        if (c == '"')
            return s;
        if (c != '\\') {
            s.append(c);
            continue;
        }
        if (index == json.size())
            break;
        const QChar e = json.at(index++);
        switch (e.unicode()) {
        case '"':
        case '\\':
        case '/':
            s.append(e);
            break;
        case 'b':
            s.append(QChar(0x08));
            break;
        case 'f':
            s.append(QChar(0x0C));
            break;
        case 'n':
            s.append(QChar(0x0A));
            break;
        case 'r':
            s.append(QChar(0x0D));
            break;
        case 't':
            s.append(QChar(0x09));
            break;
        case 'u':
            if (json.size() - index < 4) {
                success = false;
                return QVariant();
            }
            s.append(QChar(hexUnit(QStringView(json).mid(index, 4))));
            index += 4;
            break;
        default:
            break; // an unknown escape drops both characters
        }
    }
    success = false;
    return QVariant();
}

QVariant parseNumber(const QString& json, int& index)
{
    eatWhitespace(json, index);
    const int start = index;
    while (index < json.size() && QStringView(u"0123456789+-.eE").contains(json.at(index)))
        ++index;
    const QString run = json.mid(start, index - start);

    bool ok = false;
    if (run.contains('.'))
        return run.toDouble(); // 0 when the run is no number
    if (run.startsWith('-')) {
        const int i = run.toInt(&ok);
        if (ok)
            return i;
        const qlonglong ll = run.toLongLong(&ok);
        if (ok)
            return ll;
        return run;
    }
    const uint u = run.toUInt(&ok);
    if (ok)
        return u;
    const qulonglong ull = run.toULongLong(&ok);
    if (ok)
        return ull;
    return run;
}

QVariant parseValue(const QString& json, int& index, bool& success, int depth);

enum ItemState
{
    ItemFollows,
    Closed,
    Unclosed
};

// Skips any number of commas (they may be missing or repeated) and consumes the closing token when it comes.
ItemState nextItem(const QString& json, int& index, int closeToken)
{
    for (;;) {
        const int token = lookAhead(json, index);
        if (token == TokenNone)
            return Unclosed;
        if (token != TokenComma && token != closeToken)
            return ItemFollows;
        nextToken(json, index);
        if (token == closeToken)
            return Closed;
    }
}

QVariant parseObject(const QString& json, int& index, bool& success, int depth)
{
    QVariantMap map;
    nextToken(json, index);
    for (ItemState state; (state = nextItem(json, index, TokenCurlyClose)) != Closed;) {
        if (state == Unclosed) {
            success = false;
            return QVariantMap();
        }
        const QString name = parseString(json, index, success).toString();
        if (!success)
            return QVariantMap();
        if (nextToken(json, index) != TokenColon) {
            success = false;
            return QVariantMap();
        }
        const QVariant value = parseValue(json, index, success, depth + 1);
        if (!success)
            return QVariantMap();
        map.insert(name, value);
    }
    return map;
}

QVariant parseArray(const QString& json, int& index, bool& success, int depth)
{
    QVariantList list;
    nextToken(json, index);
    for (ItemState state; (state = nextItem(json, index, TokenSquaredClose)) != Closed;) {
        if (state == Unclosed) {
            success = false;
            return QVariantList();
        }
        const QVariant value = parseValue(json, index, success, depth + 1);
        if (!success)
            return QVariantList();
        list.append(value);
    }
    return list;
}

QVariant parseValue(const QString& json, int& index, bool& success, int depth)
{
    if (depth > maxDepth) {
        success = false;
        return QVariant();
    }
    switch (lookAhead(json, index)) {
    case TokenString:
        return parseString(json, index, success);
    case TokenNumber:
        return parseNumber(json, index);
    case TokenCurlyOpen:
        return parseObject(json, index, success, depth);
    case TokenSquaredOpen:
        return parseArray(json, index, success, depth);
    case TokenTrue:
        nextToken(json, index);
        return true;
    case TokenFalse:
        nextToken(json, index);
        return false;
    case TokenNull:
        nextToken(json, index);
        return QVariant();
    default:
        success = false;
        return QVariant();
    }
}

// Escapes only the backslash, the double quote and \b \f \n \r \t; every other character is written as it is.
QByteArray sanitizeString(const QString& str)
{
    QString escaped;
    escaped.reserve(str.size() + 2);
    escaped += '"';
    for (const QChar c : str) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '"':
            escaped += QLatin1String("\\\"");
            break;
        case 0x08:
            escaped += QLatin1String("\\b");
            break;
        case 0x0C:
            escaped += QLatin1String("\\f");
            break;
        case 0x0A:
            escaped += QLatin1String("\\n");
            break;
        case 0x0D:
            escaped += QLatin1String("\\r");
            break;
        case 0x09:
            escaped += QLatin1String("\\t");
            break;
        default:
            escaped += c;
        }
    }
    escaped += '"';
    return escaped.toUtf8();
}

QByteArray join(const QList<QByteArray>& list, const QByteArray& sep)
{
    QByteArray result;
    for (const QByteArray& item : list) {
        if (!result.isEmpty())
            result += sep;
        result += item;
    }
    return result;
}

template <typename Map> QByteArray serializeMap(const Map& map, bool& success)
{
    QList<QByteArray> pairs;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QByteArray value = serialize(it.value());
        if (value.isNull()) {
            success = false;
            return QByteArray();
        }
        pairs << sanitizeString(it.key()) + " : " + value;
    }
    return "{ " + join(pairs, ", ") + " }";
}

QByteArray serializeDouble(double value, bool& success)
{
    if (value - value != 0) {
        success = false;
        return QByteArray();
    }
    QByteArray text = QByteArray::number(value, 'g', 6);
    if (!text.contains('.') && !text.contains('e'))
        text += ".0";
    return text;
}

} // namespace

QVariant parse(const QString& json)
{
    bool success = true;
    return parse(json, success);
}

QVariant parse(const QString& json, bool& success)
{
    success = true;
    if (json.isNull())
        return QVariant();
    int index = 0;
    return parseValue(json, index, success, 0);
}

QByteArray serialize(const QVariant& data)
{
    bool success = true;
    return serialize(data, success);
}

QByteArray serialize(const QVariant& data, bool& success)
{
    success = true;
    QByteArray str;
    // Decided by type id in this order: Qt 6 lets many types (QString among them) convert to integers.
    switch (data.typeId()) {
    case QMetaType::UnknownType:
        str = "null";
        break;
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QList<QByteArray> values;
        for (const QVariant& v : data.toList()) {
            const QByteArray item = serialize(v);
            if (item.isNull()) {
                success = false;
                break;
            }
            values << item;
        }
        if (success)
            str = "[ " + join(values, ", ") + " ]";
        break;
    }
    case QMetaType::QVariantHash:
        str = serializeMap(data.toHash(), success);
        break;
    case QMetaType::QVariantMap:
        str = serializeMap(data.toMap(), success);
        break;
    case QMetaType::QString:
        str = sanitizeString(data.toString());
        break;
    case QMetaType::QByteArray:
        str = sanitizeString(QString::fromUtf8(data.toByteArray()));
        break;
    case QMetaType::Double:
    case QMetaType::Float: // written as a number, not cut to an integer
        str = serializeDouble(data.toDouble(), success);
        break;
    case QMetaType::Bool:
        str = data.toBool() ? "true" : "false";
        break;
    case QMetaType::ULongLong:
        str = QByteArray::number(data.toULongLong());
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        str = QByteArray::number(data.toLongLong());
        break;
    case QMetaType::QDateTime:
        str = sanitizeString(dateTimeFormat.isEmpty() ? data.toDateTime().toString(Qt::TextDate)
                                                      : data.toDateTime().toString(dateTimeFormat));
        break;
    case QMetaType::QDate:
        str = sanitizeString(dateFormat.isEmpty() ? data.toDate().toString(Qt::TextDate)
                                                  : data.toDate().toString(dateFormat));
        break;
    default:
        if (data.canConvert<QString>())
            str = sanitizeString(data.toString());
        else
            success = false;
    }
    return success ? str : QByteArray();
}

QString serializeStr(const QVariant& data)
{
    return QString::fromUtf8(serialize(data));
}

QString serializeStr(const QVariant& data, bool& success)
{
    return QString::fromUtf8(serialize(data, success));
}

QString getDateFormat()
{
    return dateFormat;
}

void setDateFormat(const QString& format)
{
    dateFormat = format;
}

QString getDateTimeFormat()
{
    return dateTimeFormat;
}

void setDateTimeFormat(const QString& format)
{
    dateTimeFormat = format;
}

} // namespace JsonCodec
