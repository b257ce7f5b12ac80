#pragma once

#include <QString>
#include <functional>

class QSqlDatabase;

// SQLite connections on book files: the default one that the record classes use, and short-lived named ones.
class BookConnection
{
public:
    // The current book's file: the data folder followed by the current book name.
    static QString currentBookPath();

    // Replaces the default connection with one on the file and drops the master-data caches, which were
    // loaded from the former connection's book; false when the file does not open.
    static bool openDefault(const QString& path);
    // Removes the default connection, so that nothing is written through it.
    static void closeDefault();
    static void dropRecordCaches();

    // Opens a connection of that name on the file, runs work on it, then closes and removes the connection.
    // False when the file did not open (work is not run), else work's result. With existingOnly a missing file
    // is not created; the file is still opened for writing, so that SQLite can roll back a write that a crash
    // left half done, which a read-only connection cannot and then fails on every query.
    static bool withTemporary(const QString& name, const QString& path, const std::function<bool(QSqlDatabase&)>& work,
                              bool existingOnly = false);
};
