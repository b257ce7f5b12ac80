#include "platform/urlopener.h"

#include <QDesktopServices>

bool UrlOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
