#include "changeset.h"

#include "online/jsoncodec.h"

#include <QRegularExpression>
#include <QVariant>

namespace {
bool isTextList(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    return std::all_of(list.cbegin(), list.cend(), [](const QVariant& v) { return v.typeId() == QMetaType::QString; });
}

bool isStamp(const QString& text)
{
    static const QRegularExpression stamp(QRegularExpression::anchoredPattern(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"));
    return stamp.match(text).hasMatch();
}

// Devices put the column names into their SQL, so only plain identifiers pass.
bool isColumnList(const QStringList& columns)
{
    static const QRegularExpression identifier(QRegularExpression::anchoredPattern("[A-Za-z_][A-Za-z0-9_]*"));
    for (const QString& column : columns) {
        if (!identifier.match(column).hasMatch() || column == "user_id" || columns.count(column) > 1)
            return false;
    }
    return columns.contains("id") && columns.contains("version");
}

bool readRows(const QVariant& value, TableChanges& changes)
{
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    for (const QVariant& row : value.toList()) {
        if (!isTextList(row))
            return false;
        const QStringList texts = row.toStringList();
        if (texts.size() != changes.columns.size() || texts.at(changes.idColumn).isEmpty() ||
            !isStamp(texts.at(changes.versionColumn)))
            return false;
        changes.rows << texts;
    }
    return true;
}

bool readDeletions(const QVariant& value, TableChanges& changes)
{
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    for (const QVariant& pair : value.toList()) {
        if (!isTextList(pair))
            return false;
        const QStringList texts = pair.toStringList();
        if (texts.size() != 2 || texts.at(0).isEmpty() || !isStamp(texts.at(1)))
            return false;
        changes.deletions << qMakePair(texts.at(0), texts.at(1));
    }
    return true;
}

bool readTable(const QVariant& value, TableChanges& changes)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap entry = value.toMap();
    changes.table = entry.value("table_name").toString();
    if (!isTextList(entry.value("update_columns")))
        return false;
    changes.columns = entry.value("update_columns").toStringList();
    if (!isColumnList(changes.columns))
        return false;
    changes.idColumn = changes.columns.indexOf("id");
    changes.versionColumn = changes.columns.indexOf("version");
    return readRows(entry.value("update_data"), changes) && readDeletions(entry.value("delete_data"), changes);
}
} // namespace

const QStringList& ChangeSet::tableNames()
{
    static const QStringList names{"bill", "account", "borrower", "category", "sub_category", "member"};
    return names;
}

bool ChangeSet::read(const QString& json)
{
    m_tables.clear();
    bool ok = false;
    const QVariant value = JsonCodec::parse(json, ok);
    if (!ok || value.typeId() != QMetaType::QVariantList)
        return false;
    QList<TableChanges> tables;
    for (const QVariant& entry : value.toList()) {
        TableChanges changes;
        if (!readTable(entry, changes) || !tableNames().contains(changes.table))
            return false;
        tables << changes;
    }
    for (const QString& name : tableNames()) {
        const auto sameName = [&name](const TableChanges& t) { return t.table == name; };
        if (std::count_if(tables.cbegin(), tables.cend(), sameName) != 1)
            return false;
    }
    m_tables = tables;
    return true;
}

const TableChanges& ChangeSet::table(const QString& name) const
{
    return *std::find_if(m_tables.cbegin(), m_tables.cend(),
                         [&name](const TableChanges& t) { return t.table == name; });
}
