#pragma once

#include <QFileInfoList>
#include <QString>

// The book files of the data folder: listing them and creating, renaming and deleting books by name. A book's
// name is its file name without ".db"; names typed by the user are checked so that nothing is ever written
// outside the data folder.
class BookShelf
{
public:
    enum class Result
    {
        Done,
        BadName,
        // A book of that name is there already.
        Taken,
        // Another running copy of the program has the book open.
        InUse,
        Failed,
    };

    // The book files of the folder, newest first; files changed within the same second by name.
    static QFileInfoList books(const QString& folder);
    // Refuses names that are blank, begin with "." (".", "..", or a hidden file the list would never show), or
    // hold a path separator or another character that file systems forbid in a name.
    static bool isUsableName(const QString& name);

    // Copies the initial book to the new name, owner-writable only, and gives it the default records; the
    // default connection stays on the open book.
    static Result create(const QString& name);
    static Result rename(const QString& oldName, const QString& newName);
    // Moves the book into the backup folder as "name.db.deleted", or under a free variant of that name when an
    // earlier deleted book of the same name is there; `movedTo` gets the path it was moved to.
    static Result remove(const QString& name, QString* movedTo = nullptr);

    // The first of "name.db.deleted", "name (2).db.deleted", ... that does not exist in the folder.
    static QString freeDeletedPath(const QString& folder, const QString& name);

private:
    static QString pathOf(const QString& name);
};
