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
    return QFile::setPermissions(path, ownerWritable(QFile::permissions(path)));
}

QFileDevice::Permissions BookFile::ownerWritable(QFileDevice::Permissions permissions)
{
    return (permissions | QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
            QFileDevice::WriteUser) &
           ~(QFileDevice::WriteGroup | QFileDevice::WriteOther | QFileDevice::ExeOwner | QFileDevice::ExeUser |
             QFileDevice::ExeGroup | QFileDevice::ExeOther);
}
