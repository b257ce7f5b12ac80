#include "platform/installerlauncher.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
const int started = 42;
const int fileNotFound = 2;

QStringList silentArguments(const QString& folder)
{
    return {"/S", "/D=" + folder};
}
} // namespace

int InstallerLauncher::shellExecute(const QString& verb, const QString& file, const QString& folder)
{
#ifdef Q_OS_WIN
    const QString parameters = silentArguments(folder).join(' ');
    const auto result =
        ShellExecuteW(nullptr, reinterpret_cast<LPCWSTR>(verb.utf16()), reinterpret_cast<LPCWSTR>(file.utf16()),
                      reinterpret_cast<LPCWSTR>(parameters.utf16()), nullptr, SW_SHOWNORMAL);
    return int(reinterpret_cast<qintptr>(result));
#else
    // There is nothing to elevate through here, and the program never asks for more rights than it has.
    if (verb != "open")
        return fileNotFound;
    return startDetached(file, folder) ? started : fileNotFound;
#endif
}

bool InstallerLauncher::startDetached(const QString& file, const QString& folder)
{
    // A download arrives without the execute bit.
    QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner | QFile::ExeUser);
    return QProcess::startDetached(file, silentArguments(folder));
}

void InstallerLauncher::endProgram()
{
    // exit() rather than quit(): quit() would close the main window, which may hide it to the tray or run the
    // close-time sync and backup while the installer replaces the program.
    QCoreApplication::exit(0);
    // The automatic offer may come while the window is still being shown, before the main loop runs; that loop
    // starts afresh whatever was asked before, so the request is repeated until it ends the program.
    auto* ender = new QTimer(QCoreApplication::instance());
    QObject::connect(ender, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    ender->start(100);
}
