#include "platform/programlauncher.h"

#include <QCoreApplication>
#include <QProcess>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#endif

namespace {
// What the program opens itself is closed on exec, but not all the browser engine opens: its helper processes
// would wait on their connections for as long as the new copy runs. Standard input and output stay shared.
void closeOnExec()
{
#ifdef Q_OS_LINUX
    DIR* descriptors = opendir("/proc/self/fd");
    if (!descriptors)
        return;
    while (const dirent* entry = readdir(descriptors)) {
        const int descriptor = atoi(entry->d_name);
        if (descriptor <= 2 || descriptor == dirfd(descriptors))
            continue;
        const int flags = fcntl(descriptor, F_GETFD);
        if (flags >= 0)
            fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
    }
    closedir(descriptors);
#endif
}
} // namespace

bool ProgramLauncher::startCopy(const QStringList& arguments, const QProcessEnvironment& environment)
{
    closeOnExec();
    QProcess copy;
    copy.setProgram(QCoreApplication::applicationFilePath());
    copy.setArguments(arguments);
    copy.setProcessEnvironment(environment);
    return copy.startDetached();
}
