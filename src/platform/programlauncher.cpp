#include "platform/programlauncher.h"

#include <QCoreApplication>
#include <QProcess>

bool ProgramLauncher::startCopy(const QStringList& arguments)
{
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
}
