#include "data/schemaaddition.h"

#include "data/logcategories.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

bool SchemaAddition::addMissing(const QList<Object>& objects, QSqlDatabase db, const QStringList& outdated)
{
    QSqlQuery query(db);
    QStringList present;
    if (!query.exec("select type, name from sqlite_master"))
        return false;
    while (query.next())
        present << query.value(0).toString() + ' ' + query.value(1).toString();
    QStringList statements;
    for (const Object& object : objects) {
        const bool replaced = outdated.contains(object.name);
        if (replaced)
            statements << QString("DROP %1 IF EXISTS %2").arg(object.type.toUpper(), object.name);
        if (replaced || !present.contains(object.type + ' ' + object.name))
            statements << object.statement;
    }
    if (statements.isEmpty())
        return true;

    bool added = db.transaction();
    for (const QString& statement : std::as_const(statements))
        added = added && query.exec(statement);
    added = added && db.commit();
    if (!added) {
        qCWarning(lcData) << "schema additions not made:" << query.lastError().text() << db.lastError().text();
        db.rollback();
    }
    return added;
}
