#include "online/dsync.h"

#include "online/synchelper.h"
#include "shell/framelessdialog.h"
#include "shell/stylepainter.h"

DSync::DSync(QWidget* parent) : QDialog(parent)
{
    FramelessDialog::frame(this, tr("数据同步"), QSize(400, 194));
    SyncHelper* engine = SyncHelper::getInstance();
    connect(engine, &SyncHelper::syncFinished, this, &QDialog::accept);
    connect(engine, &SyncHelper::syncError, this, &QDialog::reject);
    engine->sync();
}

void DSync::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
