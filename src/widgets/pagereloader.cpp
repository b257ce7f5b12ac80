#include "widgets/pagereloader.h"

#include "widgets/wbasewidget.h"

PageReloader::PageReloader(WBaseWidget* page, const Notices& notices) : QObject(page), page(page)
{
    for (auto notice : notices)
        connect(Notifier::getInstance(), notice, this, &PageReloader::schedule);
}

void PageReloader::reloaded()
{
    pending = false;
}

void PageReloader::schedule()
{
    if (pending || !page->isVisible())
        return;
    pending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (pending)
                page->bind();
        },
        Qt::QueuedConnection);
}
