#include "shell/programrestart.h"

#include "data/filesetting.h"
#include "platform/programlauncher.h"
#include "shell/dmessagebox.h"

#include <QCoreApplication>

bool ProgramRestart::with(QWidget* parent, const QString& verb, const QString& file)
{
    // The new copy reads the settings file as soon as it starts.
    FileSetting::getInstance()->sync();
    if (!ProgramLauncher::current()->startCopy({verb, file})) {
        DMessageBox::error(parent,
                           QCoreApplication::translate("ProgramRestart", "未能启动新的程序，当前程序继续运行。"));
        return false;
    }
    // exit() rather than quit(): quit() would first send the windows their close events.
    QCoreApplication::exit(0);
    return true;
}
