#include "changeset.h"

#include "jsonscanner.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <numeric>

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isStamp(QByteArrayView text)
{
    static const char pattern[] = "0000-00-00 00:00:00";
    if (text.size() != qsizetype(sizeof(pattern)) - 1)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (pattern[i] == '0' ? !isDigit(text.at(i)) : text.at(i) != pattern[i])
            return false;
    }
    return true;
}

bool isIdentifier(QByteArrayView name)
{
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    return !name.isEmpty() && letter(name.front()) &&
           std::all_of(name.begin(), name.end(), [&letter](char c) { return letter(c) || isDigit(c); });
}

// Devices put the column names into their SQL, so only plain identifiers pass.
bool isColumnList(TableChanges& changes)
{
    const QByteArrayList& columns = changes.columns;
    for (const QByteArray& column : columns) {
        if (!isIdentifier(column) || column == "user_id")
            return false;
    }
    changes.columnOrder.resize(columns.size());
    std::iota(changes.columnOrder.begin(), changes.columnOrder.end(), 0);
    const auto byName = [&columns](qsizetype a, qsizetype b) { return columns.at(a) < columns.at(b); };
    std::sort(changes.columnOrder.begin(), changes.columnOrder.end(), byName);
    const auto sameName = [&columns](qsizetype a, qsizetype b) { return columns.at(a) == columns.at(b); };
    return std::adjacent_find(changes.columnOrder.cbegin(), changes.columnOrder.cend(), sameName) ==
               changes.columnOrder.cend() &&
           changes.hasColumn("id") && changes.hasColumn("version");
}

// Whether each row holds `width` texts, with an id and a stamp at the given places.
bool rowsFit(const TextRows& rows, qsizetype width, qsizetype id, qsizetype version)
{
    if (rows.size() == 0)
        return true;
    if (rows.width() != width)
        return false;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const QByteArrayView rowId = rows.at(row, id);
        if (rowId.isEmpty() || rowId.size() > TableChanges::maxIdBytes || rowId.contains('\0') ||
            !isStamp(rows.at(row, version)))
            return false;
    }
    return true;
}

// Reads a list of at most `limit` texts.
bool readTexts(JsonScanner& scanner, QByteArrayList& texts, qsizetype limit)
{
    if (!scanner.open('['))
        return false;
    while (scanner.next(']')) {
        if (texts.size() == limit)
            return false;
        texts.append(QByteArray());
        if (!scanner.string(texts.last()))
            return false;
    }
    return !scanner.failed();
}

// Reads rows until the list ends, or until `stopped` says the reading is wasted: a large upload takes seconds.
bool readRows(JsonScanner& scanner, TextRows& rows, const std::function<bool()>& stopped)
{
    if (!scanner.open('['))
        return false;
    while (scanner.next(']')) {
        if (stopped() || !scanner.open('['))
            return false;
        while (scanner.next(']')) {
            if (!scanner.string(rows.text()))
                return false;
            rows.endCell();
        }
        if (scanner.failed() || !rows.endRow())
            return false;
    }
    return !scanner.failed();
}

// Reads one entry. A name given twice counts with its last value, as in the program's reader, but each value must be
// of its kind.
bool readTable(JsonScanner& scanner, TableChanges& changes, const std::function<bool()>& stopped)
{
    if (!scanner.open('{'))
        return false;
    bool rows = false;
    bool deletions = false;
    while (scanner.next('}')) {
        QByteArray key;
        if (!scanner.string(key) || !scanner.colon())
            return false;
        bool read = true;
        if (key == "table_name") {
            QByteArray name;
            read = scanner.string(name);
            changes.table = QString::fromUtf8(name);
        } else if (key == "update_columns") {
            changes.columns.clear();
            read = readTexts(scanner, changes.columns, TableChanges::maxColumns);
        } else if (key == "update_data") {
            changes.rows.clear();
            read = rows = readRows(scanner, changes.rows, stopped);
        } else if (key == "delete_data") {
            changes.deletions.clear();
            read = deletions = readRows(scanner, changes.deletions, stopped);
        } else {
            read = scanner.skip();
        }
        if (!read)
            return false;
    }
    if (scanner.failed() || !rows || !deletions || !isColumnList(changes))
        return false;
    changes.idColumn = int(changes.columns.indexOf("id"));
    changes.versionColumn = int(changes.columns.indexOf("version"));
    // The merge numbers a table's rows and deletions together in 32 bits.
    return changes.rows.size() + changes.deletions.size() <= std::numeric_limits<qint32>::max() &&
           rowsFit(changes.rows, changes.columns.size(), changes.idColumn, changes.versionColumn) &&
           rowsFit(changes.deletions, 2, 0, 1);
}
} // namespace

bool TableChanges::hasColumn(QByteArrayView name) const
{
    const auto at =
        std::lower_bound(columnOrder.cbegin(), columnOrder.cend(), name,
                         [this](qsizetype column, QByteArrayView wanted) { return columns.at(column) < wanted; });
    return at != columnOrder.cend() && columns.at(*at) == name;
}

const QStringList& ChangeSet::tableNames()
{
    static const QStringList names{"bill", "account", "borrower", "category", "sub_category", "member"};
    return names;
}

bool ChangeSet::read(QByteArrayView json, const std::function<bool()>& stopped)
{
    m_tables.clear();
    if (json.isValidUtf8())
        return readValid(json, stopped);
    return readValid(QString::fromUtf8(json).toUtf8(), stopped);
}

bool ChangeSet::readValid(QByteArrayView json, const std::function<bool()>& stopped)
{
    JsonScanner scanner(json);
    QList<TableChanges> tables;
    if (!scanner.open('['))
        return false;
    // Each entry is checked as it is read, so that a text that is no change set is refused at its first wrong value.
    while (scanner.next(']')) {
        TableChanges changes;
        const auto sameName = [&changes](const TableChanges& t) { return t.table == changes.table; };
        if (!readTable(scanner, changes, stopped) || !tableNames().contains(changes.table) ||
            std::any_of(tables.cbegin(), tables.cend(), sameName))
            return false;
        tables.append(std::move(changes));
    }
    if (scanner.failed() || tables.size() != tableNames().size())
        return false;
    m_tables = std::move(tables);
    return true;
}

const TableChanges& ChangeSet::table(const QString& name) const
{
    return *std::find_if(m_tables.cbegin(), m_tables.cend(),
                         [&name](const TableChanges& t) { return t.table == name; });
}
