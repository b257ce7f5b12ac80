#include "ownerfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// The error of making a file in the folder, or 0 when one can be made. Root may write anywhere by the permissions,
// and some file systems (/proc, /sys) take no files whatever those say: only making one tells. The file made has no
// name and goes as it is closed; where the file system makes no such files, one of a name no other takes is made
// and removed at once.
int fileMakingError(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    int made = open(path.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (made < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        const QByteArray probe = QFile::encodeName(
            QDir(folder).filePath(QString(".quillbay-service-probe-%1-%2")
                                      .arg(getpid())
                                      .arg(QRandomGenerator::system()->generate(), 8, 16, QChar('0'))));
        made = open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (made >= 0)
            unlink(probe.constData());
    }
    const int error = made < 0 ? errno : 0;
    if (made >= 0)
        close(made);
    return error;
}
} // namespace

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
    int error = access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0 ? 0 : errno;
    if (error == 0)
        error = fileMakingError(folder);
    return error == 0 ? QString() : "cannot write in " + folder + ": " + qt_error_string(error);
}
