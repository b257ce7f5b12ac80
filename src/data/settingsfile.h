#pragma once

#include <QSettings>
#include <QString>

// An ini settings file read and written whole. A write either replaces the file with every value or leaves it
// as it was, also on a full disk: QSettings' own write renames its new file into place even when writing it
// failed, so the values are written to a new file beside the settings file, read back, and only a new file that
// reads back as exactly those values is renamed over the settings file.
class SettingsFile
{
public:
    static QSettings::SettingsMap read(const QString& path);
    // False, with the file as it was, when the values could not be written whole.
    static bool write(const QString& path, const QSettings::SettingsMap& values);

private:
    static bool holdsExactly(const QString& path, const QSettings::SettingsMap& values);
    // Replaces `to` with `from` in one step.
    static bool renameOver(const QString& from, const QString& to);
};
