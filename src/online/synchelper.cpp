#include "online/synchelper.h"

#include <QTimer>

namespace {
SyncHelper* instance = nullptr;
const int unavailable = -1;
} // namespace

SyncHelper* SyncHelper::getInstance()
{
    if (!instance)
        instance = new SyncHelper;
    return instance;
}

SyncHelper::SyncHelper(QObject* parent) : QObject(parent) {}

void SyncHelper::sync()
{
    emit syncStarted();
    QTimer::singleShot(0, this, [this] { emit syncError(unavailable, tr("数据同步暂不可用。")); });
}
