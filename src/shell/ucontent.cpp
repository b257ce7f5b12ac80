#include "shell/ucontent.h"

#include "ui_ucontent.h"

#include "widgets/stylepainter.h"

UContent::UContent(QWidget* parent) : QWidget(parent), ui(new Ui::UContent)
{
    ui->setupUi(this);
}

UContent::~UContent()
{
    delete ui;
}

void UContent::showPage(const QString& name)
{
    QWidget* page = ui->stackedWidget->findChild<QWidget*>("pg" + name);
    if (page && ui->stackedWidget->indexOf(page) >= 0)
        ui->stackedWidget->setCurrentWidget(page);
}

QWidget* UContent::currentWidget() const
{
    return ui->stackedWidget->currentWidget();
}

void UContent::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
