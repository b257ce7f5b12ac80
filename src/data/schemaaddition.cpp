#include "data/schemaaddition.h"

#include "data/logcategories.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

bool SchemaAddition::addMissing(const QList<Object>& objects, QSqlDatabase db)
{
    QSqlQuery query(db);
    QStringList present;
    if (!query.exec("select type, name from sqlite_master"))
        return false;
    while (query.next())
        present << query.value(0).toString() + ' ' + query.value(1).toString();
    QStringList missing;
    for (const Object& object : objects)
        if (!present.contains(object.type + ' ' + object.name))
            missing << object.statement;
    if (missing.isEmpty())
        return true;

    bool added = db.transaction();
    for (const QString& statement : std::as_const(missing))
        added = added && query.exec(statement);
    added = added && db.commit();
    if (!added) {
        qCWarning(lcData) << "schema additions not made:" << query.lastError().text() << db.lastError().text();
        db.rollback();
    }
    return added;
}
