#include "ownerfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

bool OwnerFolder::make(const QString& path)
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
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
