#include "data/bookconnection.h"

#include "data/constants.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"

#include <QSqlDatabase>
#include <QUrl>

QString BookConnection::currentBookPath()
{
    Constants* constants = Constants::getInstance();
    return constants->getDbDir() + constants->getBookName();
}

bool BookConnection::openDefault(const QString& path)
{
    closeDefault();
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(path);
    const bool opened = db.open();
    dropRecordCaches();
    return opened;
}

void BookConnection::closeDefault()
{
    const QString name = QSqlDatabase::defaultConnection;
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

void BookConnection::dropRecordCaches()
{
    MAccount::clearCache();
    MBorrower::clearCache();
    MCategory::clearCache();
    MMember::clearCache();
}

bool BookConnection::withTemporary(const QString& name, const QString& path,
                                   const std::function<bool(QSqlDatabase&)>& work, bool existingOnly)
{
    bool result = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        if (existingOnly) {
            db.setConnectOptions("QSQLITE_OPEN_URI");
            db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "?mode=rw");
        } else {
            db.setDatabaseName(path);
        }
        if (db.open())
            result = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
