#include "data/backuphelper.h"

#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/defaultdata.h"
#include "data/filesetting.h"
#include "data/keddoconverter.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "shell/dmessagebox.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

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
    return QFile::copy(BookConnection::currentBookPath(), FileSetting::getInstance()->getBackupDir() + name);
}

bool BackupHelper::restore(const QString& file)
{
    const QStringList tables = tablesOf(file);
    if (!tables.contains("tbl_setting") || !tables.contains("tbl_bill") || !tables.contains("tbl_account"))
        return false;
    if (putInPlace(file).isEmpty())
        return false;
    BookConnection::withTemporary("restored", BookConnection::currentBookPath(), [](QSqlDatabase& db) {
        return QSqlQuery(db).exec("update tbl_setting set sync_time='2008-08-08 08:08:08';");
    });
    return true;
}

bool BackupHelper::keddo(const QString& file)
{
    if (!KeddoConverter::isKeddo(tablesOf(file)))
        return false;
    const QString safetyName = putInPlace(file);
    if (safetyName.isEmpty())
        return false;

    // The working copy must not land on the safety backup made within the same millisecond.
    const QString backupDir = FileSetting::getInstance()->getBackupDir();
    QString working = backupDir + generateBackupFileName();
    while (QFile::exists(working)) {
        QThread::msleep(1);
        working = backupDir + generateBackupFileName();
    }
    QFile::copy(BookFile::initialBook(), working);

    bool opened = false;
    const bool converted = BookConnection::withTemporary("init", working, [&opened](QSqlDatabase& initial) {
        return BookConnection::withTemporary("keddo", BookConnection::currentBookPath(),
                                             [&opened, &initial](QSqlDatabase& keddo) {
                                                 opened = true;
                                                 return KeddoConverter::convert(initial, keddo);
                                             });
    });
    if (!opened)
        reportOpenError();
    if (!converted) {
        putBack(safetyName);
        return false;
    }

    if (!addDeleteData())
        return false;
    FileSetting::getInstance()->setValue("Common/EnableBillTitle", true);
    return true;
}

bool BackupHelper::addDeleteData()
{
    if (!BookConnection::openDefault(BookConnection::currentBookPath())) {
        reportOpenError();
        return false;
    }
    DefaultData::Writer writer;
    writer.account = insertAndRemove<MAccount>;
    writer.borrower = insertAndRemove<MBorrower>;
    writer.categories = &BackupHelper::insertCategorys;
    writer.member = insertAndRemove<MMember>;
    DefaultData::write(writer, staticMetaObject.className());
    return true;
}

void BackupHelper::insertCategorys(const QString& kind, int& categoryId, int& subCategoryId,
                                   const QStringList& categoryNames,
                                   const QMultiMap<QString, QStringList>& subCategoryNames)
{
    DefaultData::makeCategories(kind, categoryId, subCategoryId, categoryNames, subCategoryNames,
                                insertAndRemoveCategory);
}

QString BackupHelper::putInPlace(const QString& file)
{
    const QString safetyName = generateBackupFileName();
    if (!backup(safetyName))
        return QString();
    const QString book = BookConnection::currentBookPath();
    QFile::remove(book);
    if (!QFile::copy(file, book)) {
        putBack(safetyName);
        return QString();
    }
    BookFile::makeOwnerWritable(book);
    return safetyName;
}

void BackupHelper::putBack(const QString& safetyName)
{
    const QString book = BookConnection::currentBookPath();
    QFile::remove(book);
    QFile::copy(FileSetting::getInstance()->getBackupDir() + safetyName, book);
    BookFile::makeOwnerWritable(book);
}

QStringList BackupHelper::tablesOf(const QString& file)
{
    QStringList tables;
    if (!QFileInfo(file).isFile())
        return tables;
    BookConnection::withTemporary(
        "probe", file,
        [&tables](QSqlDatabase& db) {
            tables = KeddoConverter::tableNames(db);
            return true;
        },
        true);
    return tables;
}

void BackupHelper::reportOpenError()
{
    DMessageBox::information(nullptr, tr("数据文件错误"), tr("打开数据文件出现错误。"));
}
