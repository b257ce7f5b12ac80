#include "ownerfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <unistd.h>

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

QString OwnerFolder::obstacle(const QString& path)
{
    if (path.isEmpty())
        return "an empty path would be the current folder";
    // The folder itself, or the nearest of those it would be made in.
    QString folder = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(folder))
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir())
        return folder + " is not a folder";
    if (access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return "cannot write in " + folder + ": " + qt_error_string(errno);
    return QString();
}
