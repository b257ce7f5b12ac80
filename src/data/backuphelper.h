#pragma once

#include <QMultiMap>
#include <QObject>
#include <QString>
#include <QStringList>

// Backup, restore and import of book files. The restore and the import run at start-up, before the book is
// opened; one process serves one book, so neither ever runs under an open book.
class BackupHelper : public QObject
{
    Q_OBJECT

public:
    // The book's base name (up to the first dot), the local time "yyyyMMddhhmmsszzz" and ".db".
    static QString generateBackupFileName();
    // Copies the current book into the backup folder under the name, or a generated one; an existing file is
    // never overwritten, and the copy then fails.
    static bool backup(QString name = QString());
    // Puts a copy of the book file in place of the current book, after a safety backup, and marks the book as
    // never synchronised. A file that is not a book is refused and the current book stays as it was.
    static bool restore(const QString& file);
    // Replaces the current book with a converted copy of a keddo data file. On any failure the former book is
    // put back and the result is false; a converted book that then does not open for the default records
    // also gives false.
    static bool keddo(const QString& file);
    // Opens the default connection on the current book and records the default records of a new book as
    // deleted, so that a sync deletes them elsewhere too. Ids the book holds already are left alone. False,
    // with nothing written, when the book does not open.
    static bool addDeleteData();
    // Inserts and removes the default categories of one kind, each followed by its sub-categories, with ids
    // from the counters, which run on from one kind to the next.
    static void insertCategorys(const QString& kind, int& categoryId, int& subCategoryId,
                                const QStringList& categoryNames,
                                const QMultiMap<QString, QStringList>& subCategoryNames);

private:
    // Safety backup, then the file copied over the current book; the safety backup's name on success, else
    // an empty text (the book is then as it was).
    static QString putInPlace(const QString& file);
    static void putBack(const QString& safetyName);
    static QStringList tablesOf(const QString& file);
    static void reportOpenError();
};
