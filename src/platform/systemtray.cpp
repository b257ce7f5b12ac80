#include "platform/systemtray.h"

#include <QSystemTrayIcon>

bool SystemTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}
