#include "widgets/wbasewidget.h"

#include "data/logcategories.h"
#include "widgets/pagehost.h"

WBaseWidget::WBaseWidget(QWidget* parent) : QWidget(parent) {}

WBaseWidget::~WBaseWidget() = default;

void WBaseWidget::bind() {}

void WBaseWidget::showEvent(QShowEvent*)
{
    qCDebug(lcShell) << "WBaseWidget::showEvent";
    bind();
}

void WBaseWidget::showPage(const QString& name)
{
    // A page sits in its container, the container in the book page's stack, the stack in the book page.
    QWidget* owner = parentWidget();
    for (int level = 1; owner && level < 3; ++level)
        owner = owner->parentWidget();
    if (PageHost* book = dynamic_cast<PageHost*>(owner))
        book->showPage(name);
}
