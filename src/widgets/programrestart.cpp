#include "widgets/programrestart.h"

#include "data/filesetting.h"
#include "platform/programlauncher.h"
#include "widgets/dmessagebox.h"

#include <QCoreApplication>

bool ProgramRestart::with(QWidget* parent, const QString& verb, const QString& file)
{
    // The new copy reads the settings file as soon as it starts; this copy ends without writing it again.
    if (!FileSetting::getInstance()->sync())
        DMessageBox::error(parent, QCoreApplication::translate(
                                       "ProgramRestart", "设置文件无法写入（磁盘可能已满），最近更改的设置没有保存。"));
    if (!ProgramLauncher::current()->startCopy({verb, file})) {
        DMessageBox::error(parent,
                           QCoreApplication::translate("ProgramRestart", "未能启动新的程序，当前程序继续运行。"));
        return false;
    }
    // exit() rather than quit(): quit() would first send the windows their close events.
    QCoreApplication::exit(0);
    return true;
}
