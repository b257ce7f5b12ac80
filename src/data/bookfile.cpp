#include "data/bookfile.h"

#include <QFile>

const char* BookFile::initialBook()
{
    return ":/rc/data/init.db";
}

bool BookFile::createFromInitial(const QString& path)
{
    if (!QFile::copy(initialBook(), path))
        return false;
    return makeOwnerWritable(path);
}

bool BookFile::makeOwnerWritable(const QString& path)
{
    QFile file(path);
    return file.setPermissions(file.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ReadUser | QFileDevice::WriteUser);
}
