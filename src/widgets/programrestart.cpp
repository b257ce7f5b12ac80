#include "widgets/programrestart.h"

#include "data/filesetting.h"
#include "platform/programlauncher.h"
#include "widgets/dmessagebox.h"

#include <QCoreApplication>
#include <QStringList>
#include <QWidget>

namespace {
// The settings file keeps no window geometry: the window's placement goes to the new copy only.
const char* placementVariable = "QUILLBAY_WINDOW_PLACEMENT";

// Where the window's frame stands and the size it has when not maximised, then whether it is maximised: "x,y,w,h,m".
// The frame's corner, since that is what a window manager places; QWidget::restoreGeometry would move a window
// standing at the top of the screen down by a title bar the frameless window does not have.
QString placementOf(const QWidget* window)
{
    const bool maximised = window->isMaximized();
    const QRect normal = maximised ? window->normalGeometry() : window->geometry();
    const QPoint frame = normal.topLeft() - (window->geometry().topLeft() - window->frameGeometry().topLeft());
    return QString("%1,%2,%3,%4,%5")
        .arg(frame.x())
        .arg(frame.y())
        .arg(normal.width())
        .arg(normal.height())
        .arg(maximised ? 1 : 0);
}
} // namespace

bool ProgramRestart::with(QWidget* parent, const QString& verb, const QString& file)
{
    // The new copy reads the settings file as soon as it starts; this copy ends without writing it again.
    if (!FileSetting::getInstance()->sync())
        DMessageBox::error(parent, QCoreApplication::translate(
                                       "ProgramRestart", "设置文件无法写入（磁盘可能已满），最近更改的设置没有保存。"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(placementVariable, placementOf(parent->window()));
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
    const QStringList fields = qEnvironmentVariable(placementVariable).split(',');
    // Read once: what this copy starts in turn has a placement of its own, or none.
    qunsetenv(placementVariable);
    if (fields.size() != 5)
        return;
    QList<int> values;
    for (const QString& field : fields) {
        bool number = false;
        values << field.toInt(&number);
        if (!number)
            return;
    }
    // A position given before the window is shown places its frame, as the window manager reported it.
    window->move(values.at(0), values.at(1));
    window->resize(values.at(2), values.at(3));
    if (values.at(4))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}
