#include "data/bookshelf.h"

#include "data/bookfile.h"
#include "data/booklock.h"
#include "data/constants.h"
#include "data/dbhelper.h"
#include "data/filesetting.h"
#include "data/logcategories.h"

#include <QDir>
#include <QFile>

#include <algorithm>

QFileInfoList BookShelf::books(const QString& folder)
{
    QFileInfoList files = QDir(folder, "*.db", QDir::NoSort, QDir::Files).entryInfoList();
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const qint64 secondsA = a.lastModified().toSecsSinceEpoch();
        const qint64 secondsB = b.lastModified().toSecsSinceEpoch();
        if (secondsA != secondsB)
            return secondsA > secondsB;
        return a.fileName() < b.fileName();
    });
    return files;
}

bool BookShelf::isUsableName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('.'))
        return false;
    const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    return std::none_of(name.begin(), name.end(),
                        [&](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c); });
}

BookShelf::Result BookShelf::create(const QString& name)
{
    if (!isUsableName(name))
        return Result::BadName;
    const QString path = pathOf(name);
    if (QFileInfo::exists(path))
        return Result::Taken;
    if (!BookFile::createFromInitial(path))
        return Result::Failed;
    // A book without its default records is no new book: it goes again.
    if (!DBHelper::getInstance()->initDefaultData(path)) {
        QFile::remove(path);
        return Result::Failed;
    }
    return Result::Done;
}

BookShelf::Result BookShelf::rename(const QString& oldName, const QString& newName)
{
    if (!isUsableName(newName))
        return Result::BadName;
    const QString from = pathOf(oldName);
    const QString to = pathOf(newName);
    // Checked here because a rename onto the same file would succeed without changing anything.
    if (QFileInfo::exists(to))
        return Result::Taken;
    if (BookLock::isHeldElsewhere(from))
        return Result::InUse;
    return QFile::rename(from, to) ? Result::Done : Result::Failed;
}

BookShelf::Result BookShelf::remove(const QString& name, QString* movedTo)
{
    const QString from = pathOf(name);
    if (BookLock::isHeldElsewhere(from))
        return Result::InUse;
    const QString to = freeDeletedPath(FileSetting::getInstance()->getBackupDir(), name);
    const bool moved = QFile::rename(from, to);
    qCDebug(lcData) << "book moved to the backup folder:" << moved;
    if (!moved)
        return Result::Failed;
    if (movedTo)
        *movedTo = to;
    return Result::Done;
}

QString BookShelf::freeDeletedPath(const QString& folder, const QString& name)
{
    QString path = folder + name + ".db.deleted";
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder + QString("%1 (%2).db.deleted").arg(name).arg(n);
    return path;
}

QString BookShelf::pathOf(const QString& name)
{
    return Constants::getInstance()->getDbDir() + name + ".db";
}
