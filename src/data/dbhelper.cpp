#include "data/dbhelper.h"

#include "data/bookconnection.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/defaultdata.h"
#include "data/logcategories.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "data/recordsql.h"

#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {
DBHelper* instance = nullptr;

// A step that meets its own object already in place (a column or table added by an earlier, partial run) has
// nothing left to do; any other failure means the book is not at the new version.
bool isAlreadyThere(const QSqlError& error)
{
    const QString text = error.databaseText();
    return text.contains("duplicate column name") || text.contains("already exists");
}
} // namespace

DBHelper* DBHelper::getInstance()
{
    if (!instance)
        instance = new DBHelper;
    return instance;
}

DBHelper::DBHelper(QObject* parent) : QObject(parent)
{
    m_upgradeSteps.insert(
        7,
        QStringList{
            "ALTER TABLE [tbl_bill] ADD COLUMN category_id VARCHAR(36);",
            "ALTER TABLE [tbl_bill] ADD COLUMN sub_category_id VARCHAR(36);",
            "ALTER TABLE [tbl_bill_deleted] ADD COLUMN category_id VARCHAR(36);",
            "ALTER TABLE [tbl_bill_deleted] ADD COLUMN sub_category_id VARCHAR(36);",
            "CREATE TABLE [tbl_category] (   [id] VARCHAR(36) NOT NULL,    [user_id] int DEFAULT 0,    [name] "
            "NVARCHAR(10) NOT NULL,    [kind] nvarchar(10) NOT NULL,    [description] NVARCHAR(50),    [sort] INTEGER "
            "DEFAULT 0,    [version] TIMESTAMP DEFAULT CURRENT_TIMESTAMP,    CONSTRAINT [] PRIMARY KEY ([id])); ",
            "CREATE TRIGGER [category_updated] AFTER UPDATE ON [tbl_category] FOR EACH ROW BEGIN UPDATE tbl_category "
            "Set version = CURRENT_TIMESTAMP where id = new.id; END; ",
            "CREATE TRIGGER [category_deleted] BEFORE DELETE ON [tbl_category] FOR EACH ROW BEGIN insert INTO "
            "tbl_category_deleted select * from tbl_category where id =  old.id; update tbl_category_deleted set "
            "version = current_timestamp where id =  old.id; END;  ",
            "CREATE TABLE [tbl_category_deleted] (   [id] VARCHAR(36) NOT NULL,    [user_id] int DEFAULT 0,    "
            "[name] NVARCHAR(10) NOT NULL,    [kind] nvarchar(10) NOT NULL,    [description] NVARCHAR(50),    [sort] "
            "INTEGER DEFAULT 0,    [version] TIMESTAMP DEFAULT CURRENT_TIMESTAMP,    CONSTRAINT [] PRIMARY KEY "
            "([id]));  ",
            " CREATE TABLE [tbl_sub_category] (   [id] VARCHAR(36) NOT NULL,    [category_id] VARCHAR(36) NOT NULL,  "
            "  [user_id] int DEFAULT 0,    [name] NVARCHAR(10) NOT NULL,    [kind] nvarchar(10) NOT NULL,    "
            "[description] NVARCHAR(50),    [sort] INTEGER DEFAULT 0,    [version] TIMESTAMP DEFAULT "
            "CURRENT_TIMESTAMP,    CONSTRAINT [] PRIMARY KEY ([id]));",
            " CREATE TRIGGER [sub_category_updated] AFTER UPDATE ON [tbl_sub_category] FOR EACH ROW BEGIN UPDATE "
            "tbl_sub_category Set version = CURRENT_TIMESTAMP where id = new.id; END;",
            "CREATE TRIGGER [sub_category_deleted] BEFORE DELETE ON [tbl_sub_category] FOR EACH ROW BEGIN insert INTO "
            "tbl_sub_category_deleted select * from tbl_sub_category where id =  old.id; update "
            "tbl_sub_category_deleted set version = current_timestamp where id =  old.id; END;",
            "CREATE TABLE [tbl_sub_category_deleted] (   [id] VARCHAR(36) NOT NULL,    [category_id] VARCHAR(36) NOT "
            "NULL,    [user_id] int DEFAULT 0,    [name] NVARCHAR(10) NOT NULL,    [kind] nvarchar(10) NOT NULL,    "
            "[description] NVARCHAR(50),    [sort] INTEGER DEFAULT 0,    [version] TIMESTAMP DEFAULT "
            "CURRENT_TIMESTAMP,    CONSTRAINT [sqlite_autoindex_tbl_sub_category_deleted_1] PRIMARY KEY ([id])); ",
        });
    m_upgradeSteps.insert(41,
                          QStringList{
                              "update tbl_account set sort = (select count(*) from tbl_account) where sort> (select "
                              "count(*) from tbl_account) or sort<0;",
                              "update tbl_borrower set sort = (select count(*) from tbl_borrower) where sort> "
                              "(select count(*) from tbl_borrower) or sort<0;",
                              "update tbl_member set sort = (select count(*) from tbl_member) where sort> (select "
                              "count(*) from tbl_member) or sort<0;",
                          });
}

bool DBHelper::upgrade()
{
    QSqlQuery query;
    // Stamps from a clock that ran ahead would otherwise win every sync until that time has passed.
    const QStringList clamp{
        "update tbl_bill set version=current_timestamp where version>current_timestamp;",
        "update tbl_account set version=current_timestamp where version>current_timestamp;",
        "update tbl_borrower set version=current_timestamp where version>current_timestamp;",
        "update tbl_member set version=current_timestamp where version>current_timestamp;",
        "update tbl_category set version=current_timestamp where version>current_timestamp;",
        "update tbl_sub_category set version=current_timestamp where version>current_timestamp;",
    };
    for (const QString& statement : clamp)
        query.exec(statement);

    DbSetting* setting = DbSetting::getInstance();
    const int stored = setting->getVersion();
    const int target = Constants::getInstance()->getVersionCode();
    if (stored >= target)
        return true;

    bool complete = true;
    for (int v = stored; v < target; ++v) {
        const auto step = m_upgradeSteps.constFind(v);
        if (step == m_upgradeSteps.constEnd())
            continue;
        for (const QString& statement : *step) {
            const bool ok = query.exec(statement);
            qCDebug(lcData) << ok << (ok ? QString() : query.lastError().text());
            if (!ok && !isAlreadyThere(query.lastError()))
                complete = false;
        }
    }
    if (!complete)
        return false;
    setting->setVersion(target);
    return setting->save();
}

bool DBHelper::initDefaultData(const QString& path)
{
    if (path.isEmpty())
        return fillDefaultConnection();
    // The notices and the caches belong to the current book: nothing is announced while the other file is
    // filled, and reopening the current book drops what the fill cached from the other file.
    const QSignalBlocker quiet(Notifier::getInstance());
    const bool filled = BookConnection::openDefault(path) && fillDefaultConnection();
    BookConnection::openDefault(BookConnection::currentBookPath());
    return filled;
}

bool DBHelper::insertCategorys(const QString& kind, int& categoryId, int& subCategoryId,
                               const QStringList& categoryNames,
                               const QMultiMap<QString, QStringList>& subCategoryNames)
{
    bool inserted = true;
    DefaultData::makeCategories(kind, categoryId, subCategoryId, categoryNames, subCategoryNames,
                                [&inserted](MCategory& category) { inserted = category.insert() && inserted; });
    return inserted;
}

bool DBHelper::fillDefaultConnection()
{
    return RecordSql::allOrNothing([this] { return writeDefaultRecords(); });
}

bool DBHelper::writeDefaultRecords()
{
    // Each insert takes its position from the cached list, which must be the list of the book being filled.
    BookConnection::dropRecordCaches();
    bool written = true;
    const auto keep = [&written](bool ok) { written = written && ok; };
    DefaultData::Writer writer;
    writer.account = [&keep](MAccount& account) { keep(MAccount::insert(&account)); };
    writer.borrower = [&keep](MBorrower& borrower) { keep(MBorrower::insert(&borrower)); };
    writer.categories = [this, &keep](const QString& kind, int& categoryId, int& subCategoryId,
                                      const QStringList& categoryNames,
                                      const QMultiMap<QString, QStringList>& subCategoryNames) {
        keep(insertCategorys(kind, categoryId, subCategoryId, categoryNames, subCategoryNames));
    };
    writer.member = [&keep](MMember& member) { keep(MMember::insert(&member)); };
    DefaultData::write(writer, staticMetaObject.className());

    // Older than any last-sync time, so that a sync leaves these records alone until they are changed.
    QSqlQuery query;
    for (const QString table : {"tbl_account", "tbl_borrower", "tbl_category", "tbl_sub_category", "tbl_member"})
        keep(query.exec("update " + table + " set version='2007-07-07 07:07:07'"));
    return written;
}
