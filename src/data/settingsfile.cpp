#include "data/settingsfile.h"

#include <QFile>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

namespace {
// An ini file gives back most values as text: a value reads back right when it is the same value or the same text.
bool readsBackAs(const QVariant& stored, const QVariant& wanted)
{
    return stored == wanted || (stored.typeId() == QMetaType::QString && wanted.canConvert<QString>() &&
                                stored.toString() == wanted.toString());
}
} // namespace

QSettings::SettingsMap SettingsFile::read(const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    QSettings::SettingsMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

bool SettingsFile::write(const QString& path, const QSettings::SettingsMap& values)
{
    QTemporaryFile written(path + ".XXXXXX");
    QTemporaryFile check(path + ".XXXXXX");
    if (!written.open() || !check.open())
        return false;
    written.close();
    check.close();
    // The new file keeps the mode of the one it replaces, but nobody else may write it; a new one is the owner's.
    if (QFile::exists(path) &&
        !written.setPermissions(QFile::permissions(path) & ~(QFileDevice::WriteGroup | QFileDevice::WriteOther)))
        return false;
    {
        QSettings out(written.fileName(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            out.setValue(it.key(), it.value());
        out.sync();
        if (out.status() != QSettings::NoError)
            return false;
    }
    // QSettings remembers what it wrote to a path and takes that for the file's content: the new file is read
    // back under a name that QSettings has never seen.
    return renameOver(written.fileName(), check.fileName()) && holdsExactly(check.fileName(), values) &&
           renameOver(check.fileName(), path);
}

bool SettingsFile::holdsExactly(const QString& path, const QSettings::SettingsMap& values)
{
    const QSettings::SettingsMap stored = read(path);
    if (stored.size() != values.size())
        return false;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (!stored.contains(it.key()) || !readsBackAs(stored.value(it.key()), it.value()))
            return false;
    return true;
}

bool SettingsFile::renameOver(const QString& from, const QString& to)
{
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), error);
    return !error;
}
