#include "data/bookindexes.h"

#include "data/schemaaddition.h"

#include <QSqlQuery>

namespace {
struct Index
{
    const char* name;
    const char* columns;
};

// Chosen from the query plans of the statements that read many bills. The whole list, newest first, is a backward
// walk of the date index, with no sort of every bill; a month or a category is found through its own index and
// its few bills sorted. The account and category indexes also hold what the balances and the analyses sum over
// them, so that those read the index alone.
const Index indexes[] = {
    {"bill_by_date", "date, created_time, id"},
    {"bill_by_month", "month"},
    {"bill_by_account", "account_id, kind, amount"},
    {"bill_by_to_account", "to_account_id, kind, amount"},
    {"bill_by_category", "category_id, sub_category_id, amount"},
    {"bill_by_sub_category", "sub_category_id"},
};

QString statementOf(const Index& index)
{
    return QString("CREATE INDEX IF NOT EXISTS %1 ON tbl_bill (%2)").arg(index.name, index.columns);
}

// The columns of the book's index of that name, as the index list writes them; empty when it has none.
QString columnsOf(const Index& index, QSqlDatabase db)
{
    QSqlQuery query(db);
    query.prepare("select name from pragma_index_info(?) order by seqno");
    query.addBindValue(QString(index.name));
    QStringList columns;
    if (query.exec())
        while (query.next())
            columns << query.value(0).toString();
    return columns.join(", ");
}
} // namespace

QStringList BookIndexes::statements()
{
    QStringList list;
    for (const Index& index : indexes)
        list << statementOf(index);
    return list;
}

bool BookIndexes::addMissing(QSqlDatabase db)
{
    QList<SchemaAddition::Object> objects;
    // A book indexed by an earlier build gets the columns this one orders and filters by.
    QStringList outdated;
    for (const Index& index : indexes) {
        objects.append({"index", index.name, statementOf(index)});
        const QString held = columnsOf(index, db);
        if (!held.isEmpty() && held != index.columns)
            outdated << index.name;
    }
    return SchemaAddition::addMissing(objects, db, outdated);
}

bool BookIndexes::rebuiltAround(const QStringList& columns, const std::function<bool()>& change, QSqlDatabase db)
{
    QList<const Index*> over;
    for (const Index& index : indexes)
        for (const QString& column : QString(index.columns).split(", "))
            if (columns.contains(column) && !over.contains(&index))
                over << &index;
    QSqlQuery query(db);
    for (const Index* index : std::as_const(over))
        if (!query.exec(QString("DROP INDEX IF EXISTS %1").arg(index->name)))
            return false;
    if (!change())
        return false;
    for (const Index* index : std::as_const(over))
        if (!query.exec(statementOf(*index)))
            return false;
    return true;
}
