#include "data/backuphelper.h"

#include "data/bookcheck.h"
#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/booklock.h"
#include "data/bookreplacement.h"
#include "data/dbsetting.h"
#include "data/defaultdata.h"
#include "data/filesetting.h"
#include "data/keddoconverter.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/recordsql.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
// Inserts a default record and removes it at once, so that only its deletion stays. An insert that fails met
// an id the book holds already: that record is the user's own and stays.
template <typename Record> void insertAndRemove(Record& record)
{
    if (Record::insert(&record))
        Record::remove(&record);
}

void insertAndRemoveCategory(MCategory& category)
{
    if (category.insert())
        category.remove();
}
} // namespace

QString BackupHelper::generateBackupFileName()
{
    return QFileInfo(BookConnection::currentBookPath()).baseName() +
           QDateTime::currentDateTime().toString("yyyyMMddhhmmsszzz") + ".db";
}

bool BackupHelper::backup(QString name)
{
    if (name.isEmpty())
        name = generateBackupFileName();
    const QString target = FileSetting::getInstance()->getBackupDir() + name;
    if (!QFile::copy(BookConnection::currentBookPath(), target))
        return false;
    return BookFile::makeOwnerOnly(target);
}

bool BackupHelper::backupTo(const QString& target)
{
    // Replacing the open book with a copy of itself would pull the file from under its connection.
    if (isCurrentBook(target))
        return false;
    BookReplacement copy(target);
    return copy.prepare(BookConnection::currentBookPath()) && copy.commit();
}

bool BackupHelper::isCurrentBook(const QString& path)
{
    return QFileInfo(path) == QFileInfo(BookConnection::currentBookPath());
}

bool BackupHelper::restore(const QString& file)
{
    const QString book = BookConnection::currentBookPath();
    // Restoring the book onto itself would bring nothing back.
    if (isCurrentBook(file) || BookLock::acquire(book) != BookLock::Outcome::Held)
        return false;
    BookReplacement replacement(book);
    if (!replacement.prepare(file))
        return false;
    const bool ready = BookConnection::withTemporary("restored", replacement.workingPath(), [](QSqlDatabase& db) {
        return BookCheck::isWholeBook(db) &&
               QSqlQuery(db).exec(QString("update tbl_setting set sync_time='%1';").arg(DbSetting::neverSynced));
    });
    return ready && backup() && replacement.commit();
}

bool BackupHelper::keddo(const QString& file, bool* unopened)
{
    const QString book = BookConnection::currentBookPath();
    if (BookLock::acquire(book) != BookLock::Outcome::Held)
        return false;
    BookReplacement replacement(book);
    // Never put in place: this one only lends its working copy of the initial book, whose schema the conversion
    // reads, so that the copy lies beside the book and goes with the import, whatever its outcome. The backup
    // folder gets nothing but the safety backup of the former book.
    BookReplacement schema(book);
    if (!replacement.prepare(file) || !KeddoConverter::isKeddo(tablesOf(replacement.workingPath())) ||
        !schema.prepare(BookFile::initialBook()) || !backup())
        return false;

    bool opened = false;
    const bool converted = BookConnection::withTemporary("init", schema.workingPath(), [&](QSqlDatabase& initial) {
        return BookConnection::withTemporary("keddo", replacement.workingPath(), [&](QSqlDatabase& keddo) {
            opened = true;
            // A conversion that stops half way leaves nothing behind.
            return keddo.transaction() && KeddoConverter::convert(initial, keddo) && BookCheck::isWholeBook(keddo) &&
                   keddo.commit();
        });
    });
    if (!opened && unopened)
        *unopened = true;
    const bool replaced = converted && addDeleteData(replacement.workingPath(), unopened) && replacement.commit();
    // Whatever happened to the working copy, the program goes on with the book in its place.
    BookConnection::openDefault(book);
    if (!replaced)
        return false;
    FileSetting::getInstance()->setValue("Common/EnableBillTitle", true);
    return true;
}

bool BackupHelper::addDeleteData(const QString& path, bool* unopened)
{
    if (!BookConnection::openDefault(path.isEmpty() ? BookConnection::currentBookPath() : path)) {
        if (unopened)
            *unopened = true;
        return false;
    }
    DefaultData::Writer writer;
    writer.account = insertAndRemove<MAccount>;
    writer.borrower = insertAndRemove<MBorrower>;
    writer.categories = &BackupHelper::insertCategorys;
    writer.member = insertAndRemove<MMember>;
    // The deletions are recorded together, or the import fails with its commit.
    return RecordSql::allOrNothing([&writer] {
        DefaultData::write(writer, staticMetaObject.className());
        return true;
    });
}

void BackupHelper::insertCategorys(const QString& kind, int& categoryId, int& subCategoryId,
                                   const QStringList& categoryNames,
                                   const QMultiMap<QString, QStringList>& subCategoryNames)
{
    DefaultData::makeCategories(kind, categoryId, subCategoryId, categoryNames, subCategoryNames,
                                insertAndRemoveCategory);
}

QStringList BackupHelper::tablesOf(const QString& file)
{
    QStringList tables;
    BookConnection::withTemporary("probe", file, [&tables](QSqlDatabase& db) {
        tables = KeddoConverter::tableNames(db);
        return true;
    });
    return tables;
}
