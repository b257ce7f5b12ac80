#include "shell/ubook.h"

#include "ui_ubook.h"

#include "shell/bookpagefactory.h"
#include "widgets/stylepainter.h"
#include "widgets/wbasewidget.h"

#include <QLayout>

namespace {
// The page objects' own names, by page name, in stack order.
const QList<QPair<QString, QString>> pageNames{
    {"AccountList", "wgtAccount"},
    {"CategoryList", "wgtCategoryList"},
    {"BorrowerList", "wgtBorrowerList"},
    {"BillList", "wgtBillList"},
    {"CategoryAnalysis", "wgtCategoryAnalysis"},
    {"AccountAnalysis", "wgtAccountAnalysis"},
    {"BillStat", "wgtBillStat"},
    {"MemberList", "wgtMemberList"},
    {"MemberAnalysis", "wgtMemberAnalysis"},
    {"BorrowerAnalysis", "wgtBorrowerAnalysis"},
};
} // namespace

UBook::UBook(QWidget* parent) : QWidget(parent), ui(new Ui::UBook)
{
    ui->setupUi(this);
    addPages();
    showPage("BillList");
}

UBook::~UBook()
{
    delete ui;
}

void UBook::addPages()
{
    for (const auto& [page, objectName] : pageNames) {
        QWidget* container = ui->stackedWidget->findChild<QWidget*>("pg" + page, Qt::FindDirectChildrenOnly);
        WBaseWidget* widget = BookPageFactory::current()->create(page, container);
        widget->setObjectName(objectName);
        container->layout()->addWidget(widget);
    }
}

void UBook::showPage(const QString& name)
{
    QWidget* page = ui->stackedWidget->findChild<QWidget*>("pg" + name);
    if (page && ui->stackedWidget->indexOf(page) >= 0)
        ui->stackedWidget->setCurrentWidget(page);
}

WBaseWidget* UBook::currentBaseWidget() const
{
    QWidget* page = ui->stackedWidget->currentWidget();
    return page ? page->findChild<WBaseWidget*>() : nullptr;
}

void UBook::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
