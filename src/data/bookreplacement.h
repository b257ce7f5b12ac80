#pragma once

#include <QString>
#include <QTemporaryFile>
#include <functional>

// Puts new content in the place of a book file so that the book on disk is at every moment the old file or
// the new one, never missing or half-written: the content is made ready in a working copy beside the book,
// and only then written to a temporary file there, flushed to disk and renamed over the book in one step.
// A replacement that is abandoned, or a crash on the way, leaves the book as it was.
class BookReplacement
{
public:
    explicit BookReplacement(const QString& book);

    // Copies the file into the working copy, where it can be checked and changed before it replaces anything;
    // false when the file cannot be read or the copy cannot be written.
    bool prepare(const QString& source);
    QString workingPath() const;
    // Writes the working copy over the book, readable and writable by the owner only; false, with the book as
    // it was, when the new content could not be written whole or renamed into place.
    bool commit();

    // Only tests set it: called with the book's path once the new content is written and before it is
    // renamed over the book; false abandons the replacement at that moment, as a crash there would.
    static std::function<bool(const QString&)> beforeRename;

private:
    QString m_book;
    QTemporaryFile m_working;
};
