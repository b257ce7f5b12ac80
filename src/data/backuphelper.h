#pragma once

#include <QMultiMap>
#include <QObject>
#include <QString>
#include <QStringList>

// Backup, restore and import of book files. The restore and the import run at start-up, before the book is
// opened; one process serves one book, and neither replaces a book that another running copy holds.
class BackupHelper : public QObject
{
    Q_OBJECT

public:
    // The book's base name (up to the first dot), the local time "yyyyMMddhhmmsszzz" and ".db".
    static QString generateBackupFileName();
    // Copies the current book into the backup folder under the name, or a generated one; an existing file is
    // never overwritten, and the copy then fails.
    static bool backup(QString name = QString());
    // Copies the current book to a file the user chose, replacing it in one step: the target is at every moment
    // the old file or the whole copy. The current book itself is refused.
    static bool backupTo(const QString& target);
    static bool isCurrentBook(const QString& path);
    // Puts a copy of the book file in place of the current book, after a safety backup, and marks the book as
    // never synchronised. A file that is no whole book of a schema this program knows is refused, and on any
    // failure the current book stays as it was.
    static bool restore(const QString& file);
    // Replaces the current book with a converted copy of a keddo data file. On any failure the current book
    // stays as it was and the result is false; `unopened`, when given, is set when a book file would not open,
    // which the caller tells the user before the failure itself.
    static bool keddo(const QString& file, bool* unopened = nullptr);
    // Opens the default connection on the book file (an empty path: the current book) and records the default
    // records of a new book as deleted, so that a sync deletes them elsewhere too. Ids the book holds already
    // are left alone. False, with `unopened` set when given, when the file does not open.
    static bool addDeleteData(const QString& path = QString(), bool* unopened = nullptr);
    // Inserts and removes the default categories of one kind, each followed by its sub-categories, with ids
    // from the counters, which run on from one kind to the next.
    static void insertCategorys(const QString& kind, int& categoryId, int& subCategoryId,
                                const QStringList& categoryNames,
                                const QMultiMap<QString, QStringList>& subCategoryNames);

private:
    static QStringList tablesOf(const QString& file);
};
