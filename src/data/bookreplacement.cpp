#include "data/bookreplacement.h"

#include "data/bookfile.h"

#include <QSaveFile>

std::function<bool(const QString&)> BookReplacement::beforeRename;

namespace {
bool copyAll(QIODevice& in, QIODevice& out)
{
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return false;
    }
    return true;
}
} // namespace

// The working copy's name does not end in ".db", so that one left by a crash is never listed as a book.
BookReplacement::BookReplacement(const QString& book) : m_book(book), m_working(book + ".XXXXXX") {}

bool BookReplacement::prepare(const QString& source)
{
    QFile in(source);
    // Writing to the disk happens at the flush: a full disk shows there, and close() would not say so.
    if (!in.open(QIODevice::ReadOnly) || !m_working.open() || !copyAll(in, m_working) || !m_working.flush())
        return false;
    m_working.close();
    return m_working.setPermissions(BookFile::ownerOnly);
}

QString BookReplacement::workingPath() const
{
    return m_working.fileName();
}

bool BookReplacement::commit()
{
    QFile in(workingPath());
    QSaveFile out(m_book);
    // QSaveFile::commit() renames the new file into place even when its last write failed: flush() tells.
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || !copyAll(in, out) ||
        !out.setPermissions(BookFile::ownerOnly) || !out.flush())
        return false;
    if (beforeRename && !beforeRename(m_book))
        return false;
    return out.commit();
}
