#include "data/billreader.h"

#include "data/sqlitehandle.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlQuery>
#include <algorithm>
#include <sqlite3.h>

namespace {
enum Column
{
    Id,
    Amount,
    Description,
    Date,
    Month,
    CategoryId,
    SubCategoryId,
    AccountId,
    ToAccountId,
    BorrowerId,
    MemberId,
    Title,
    Kind
};

// One string for every repeated value, so that a list of many bills holds each id, kind and title once. Capped,
// so that a column of values that rarely repeat costs no more than a lookup.
class SharedTexts
{
public:
    QString shared(const QString& text)
    {
        if (text.isEmpty())
            return text;
        const auto found = m_byText.constFind(text);
        if (found != m_byText.constEnd())
            return *found;
        if (m_byText.size() < cap)
            m_byText.insert(text, text);
        return text;
    }

    // The same keyed by the stored UTF-8 bytes; make is asked for the string only for bytes not seen before.
    template <typename Make> QString shared(const char* utf8, int size, const Make& make)
    {
        const auto found = m_byUtf8.constFind(QByteArray::fromRawData(utf8, size));
        if (found != m_byUtf8.constEnd())
            return *found;
        QByteArray key(utf8, size);
        const QString text = make();
        if (m_byUtf8.size() < cap)
            m_byUtf8.insert(key, text);
        return text;
    }

private:
    static constexpr int cap = 4096;
    QHash<QString, QString> m_byText;
    QHash<QByteArray, QString> m_byUtf8;
};

// The text of a value the way Qt's SQLite driver makes it, from SQLite's own UTF-16 form; plain ASCII, which
// every id and kind is, converts the same without it.
QString textOf(sqlite3_value* value)
{
    const char* utf8 = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const int size = sqlite3_value_bytes(value);
    if (std::all_of(utf8, utf8 + size, [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(utf8, size);
    const void* utf16 = sqlite3_value_text16(value);
    return QString(static_cast<const QChar*>(utf16), sqlite3_value_bytes16(value) / int(sizeof(QChar)));
}

// The value as Qt's SQLite driver hands it to QSqlQuery::value, for the storage types a column rarely holds.
QVariant driverValue(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return sqlite3_value_double(value);
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value));
    default:
        return textOf(value);
    }
}

// Reads the columns of the current row of a statement straight from SQLite. The connection serves the GUI thread
// alone, so the values are read without taking its lock once per call.
class DirectRow
{
public:
    explicit DirectRow(sqlite3_stmt* statement) : m_statement(statement) {}

    QString text(int column) const
    {
        sqlite3_value* value = sqlite3_column_value(m_statement, column);
        switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return QString();
        case SQLITE_TEXT:
            return textOf(value);
        default:
            return driverValue(value).toString();
        }
    }

    QString sharedText(int column, SharedTexts& texts) const
    {
        sqlite3_value* value = sqlite3_column_value(m_statement, column);
        if (sqlite3_value_type(value) != SQLITE_TEXT)
            return text(column);
        const char* utf8 = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return texts.shared(utf8, sqlite3_value_bytes(value), [value] { return textOf(value); });
    }

    double number(int column) const
    {
        sqlite3_value* value = sqlite3_column_value(m_statement, column);
        switch (sqlite3_value_type(value)) {
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        case SQLITE_INTEGER:
            return double(sqlite3_value_int64(value));
        default:
            return driverValue(value).toDouble();
        }
    }

    int integer(int column) const
    {
        sqlite3_value* value = sqlite3_column_value(m_statement, column);
        if (sqlite3_value_type(value) == SQLITE_INTEGER)
            return int(sqlite3_value_int64(value));
        return driverValue(value).toInt();
    }

    // A stored "yyyy-MM-dd" is read digit by digit; anything else the way QVariant::toDate reads it.
    QDate date(int column) const
    {
        sqlite3_value* value = sqlite3_column_value(m_statement, column);
        if (sqlite3_value_type(value) == SQLITE_TEXT && sqlite3_value_bytes(value) == 10) {
            if (const QDate day = isoDay(reinterpret_cast<const char*>(sqlite3_value_text(value))); day.isValid())
                return day;
        }
        return driverValue(value).toDate();
    }

private:
    static QDate isoDay(const char* text)
    {
        int digits[8];
        int d = 0;
        for (int i = 0; i < 10; ++i) {
            const bool dash = i == 4 || i == 7;
            if (dash != (text[i] == '-') || (!dash && (text[i] < '0' || text[i] > '9')))
                return QDate();
            if (!dash)
                digits[d++] = text[i] - '0';
        }
        const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
        return QDate(year, digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
    }

    sqlite3_stmt* m_statement;
};

template <typename Row> MBillPtr billOf(const Row& row, SharedTexts& texts)
{
    MBillPtr bill = MBillPtr::create();
    bill->setId(row.text(Id));
    bill->setAmount(row.number(Amount));
    bill->setDescription(row.text(Description));
    bill->setDate(row.date(Date));
    bill->setMonth(row.integer(Month));
    bill->setCategoryId(row.sharedText(CategoryId, texts));
    bill->setSubCategoryId(row.sharedText(SubCategoryId, texts));
    bill->setAccountId(row.sharedText(AccountId, texts));
    bill->setToAccountId(row.sharedText(ToAccountId, texts));
    bill->setBorrowerId(row.sharedText(BorrowerId, texts));
    bill->setMemberId(row.sharedText(MemberId, texts));
    bill->setTitle(row.sharedText(Title, texts));
    bill->setKind(row.sharedText(Kind, texts));
    return bill;
}

// Reads the columns of the current row of a QSqlQuery.
class DriverRow
{
public:
    explicit DriverRow(const QSqlQuery& query) : m_query(query) {}

    QString text(int column) const { return m_query.value(column).toString(); }
    QString sharedText(int column, SharedTexts& texts) const { return texts.shared(text(column)); }
    double number(int column) const { return m_query.value(column).toDouble(); }
    int integer(int column) const { return m_query.value(column).toInt(); }
    QDate date(int column) const { return m_query.value(column).toDate(); }

private:
    const QSqlQuery& m_query;
};

} // namespace

MBillList BillReader::read(const QString& sql, const QSqlDatabase& db)
{
    if (sqlite3* handle = SqliteHandle::of(db))
        return readDirect(handle, sql);
    return readThroughDriver(sql, db);
}

MBillList BillReader::readThroughDriver(const QString& sql, const QSqlDatabase& db)
{
    MBillList bills;
    SharedTexts texts;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return bills;
    const DriverRow row(query);
    while (query.next())
        bills.append(billOf(row, texts));
    return bills;
}

MBillList BillReader::readDirect(sqlite3* handle, const QString& sql)
{
    MBillList bills;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, &tail) != SQLITE_OK)
        return bills;
    // Like the driver, a text that holds a second statement runs none of them.
    if (statement && QString::fromUtf8(tail).trimmed().isEmpty()) {
        SharedTexts texts;
        const DirectRow row(statement);
        while (sqlite3_step(statement) == SQLITE_ROW)
            bills.append(billOf(row, texts));
    }
    sqlite3_finalize(statement);
    return bills;
}
