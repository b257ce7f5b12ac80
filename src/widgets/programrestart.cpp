#include "widgets/programrestart.h"

#include "data/filesetting.h"
#include "platform/programlauncher.h"
#include "widgets/dmessagebox.h"

#include <QCoreApplication>
#include <QWidget>

namespace {
// The settings file keeps no window geometry: the window's placement goes to the new copy only.
const char* placementVariable = "QUILLBAY_WINDOW_PLACEMENT";
} // namespace

bool ProgramRestart::with(QWidget* parent, const QString& verb, const QString& file)
{
    // The new copy reads the settings file as soon as it starts; this copy ends without writing it again.
    if (!FileSetting::getInstance()->sync())
        DMessageBox::error(parent, QCoreApplication::translate(
                                       "ProgramRestart", "设置文件无法写入（磁盘可能已满），最近更改的设置没有保存。"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(placementVariable, QString::fromLatin1(parent->window()->saveGeometry().toBase64()));
    if (!ProgramLauncher::current()->startCopy({verb, file}, environment)) {
        DMessageBox::error(parent,
                           QCoreApplication::translate("ProgramRestart", "未能启动新的程序，当前程序继续运行。"));
        return false;
    }
    // exit() rather than quit(): quit() would first send the windows their close events.
    QCoreApplication::exit(0);
    return true;
}

void ProgramRestart::placeWindow(QWidget* window)
{
    const QByteArray placement = qgetenv(placementVariable);
    if (placement.isEmpty())
        return;
    // Read once: what this copy starts in turn has a placement of its own, or none.
    qunsetenv(placementVariable);
    window->restoreGeometry(QByteArray::fromBase64(placement));
}
