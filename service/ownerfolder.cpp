#include "ownerfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {
const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
}

bool OwnerFolder::make(const QString& path)
{
    QStringList missing;
    for (QString folder = QFileInfo(path).absoluteFilePath(); !QFileInfo::exists(folder);
         folder = QFileInfo(folder).absolutePath())
        missing.prepend(folder);
    for (const QString& folder : missing) {
        if (!QDir().mkdir(folder) || !QFile::setPermissions(folder, ownerOnly))
            return false;
    }
    return true;
}

bool OwnerFolder::makeOwn(const QString& path)
{
    return make(path) && QFileInfo(path).isDir() && QFile::setPermissions(path, ownerOnly);
}
