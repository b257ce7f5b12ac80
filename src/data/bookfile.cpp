#include "data/bookfile.h"

#include "data/bookreplacement.h"

#include <QFile>

const char* BookFile::initialBook()
{
    return ":/rc/data/init.db";
}

bool BookFile::createFromInitial(const QString& path)
{
    if (QFile::exists(path))
        return false;
    BookReplacement book(path);
    return book.prepare(initialBook()) && book.commit();
}

bool BookFile::makeOwnerOnly(const QString& path)
{
    return QFile::setPermissions(path, ownerOnly);
}
