#pragma once

#include "data/notifier.h"

#include <QList>
#include <QObject>

class WBaseWidget;

// Keeps a shown page in step with the book: after change notices (a burst of writes, a sync) it reloads the page
// once, when the program is idle again. A hidden page reloads anyway when it is shown.
class PageReloader : public QObject
{
public:
    using Notices = QList<void (Notifier::*)()>;

    PageReloader(WBaseWidget* page, const Notices& notices);

    // The page has just reloaded: a reload still waiting is not needed any more (and would drop the selection
    // the page set after it).
    void reloaded();

private:
    void schedule();

    WBaseWidget* page;
    bool pending = false;
};
