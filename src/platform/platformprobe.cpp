#include "platform/platformprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QOperatingSystemVersion>
#include <QStandardPaths>

QString PlatformProbe::programsFolder() const
{
    return qEnvironmentVariable("PROGRAMFILES");
}

bool PlatformProbe::isVistaOrLater() const
{
#ifdef Q_OS_WIN
    return QOperatingSystemVersion::current() >= QOperatingSystemVersion(QOperatingSystemVersion::Windows, 6, 0);
#else
    return true;
#endif
}

QString PlatformProbe::documentsLocation() const
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString PlatformProbe::dataLocation() const
{
    // The generic location: the program sets no organisation or application name, so nothing is appended.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString PlatformProbe::applicationDirPath() const
{
    return QCoreApplication::applicationDirPath();
}

QChar PlatformProbe::separator() const
{
    return QDir::separator();
}
