#include "platform/urlopener.h"

#include <QDesktopServices>
#include <QThread>

namespace {
QtMessageHandler handlerBefore = nullptr;
Qt::HANDLE openingThread = nullptr;

// Drops the warnings of the thread that is opening an address, which say no more than the false it returns;
// every other message goes on as before.
void quietWhileOpening(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && QThread::currentThreadId() == openingThread)
        return;
    handlerBefore(type, context, message);
}
} // namespace

bool UrlOpener::open(const QUrl& url)
{
    openingThread = QThread::currentThreadId();
    handlerBefore = qInstallMessageHandler(quietWhileOpening);
    const bool opened = QDesktopServices::openUrl(url);
    qInstallMessageHandler(handlerBefore);
    openingThread = nullptr;
    return opened;
}
