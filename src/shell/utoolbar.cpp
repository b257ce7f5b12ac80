#include "shell/utoolbar.h"

#include "ui_utoolbar.h"

#include "online/dfeedback.h"
#include "shell/ucontent.h"
#include "widgets/stylepainter.h"
#include "widgets/weblink.h"

UToolBar::UToolBar(QWidget* parent) : QWidget(parent), ui(new Ui::UToolBar)
{
    ui->setupUi(this);
}

UToolBar::~UToolBar()
{
    delete ui;
}

void UToolBar::setContentWidget(UContent* content)
{
    contentWidget = content;
}

void UToolBar::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}

void UToolBar::showPage(const QString& name)
{
    if (contentWidget)
        contentWidget->showPage(name);
}

void UToolBar::on_tbSync_clicked()
{
    showPage("Sync");
}

void UToolBar::on_tbData_clicked()
{
    showPage("Data");
}

void UToolBar::on_pbBook_clicked()
{
    showPage("Book");
}

void UToolBar::on_tbSetting_clicked()
{
    showPage("Setting");
}

void UToolBar::on_tbWebsite_clicked()
{
    // The site's root also serves the program's online services.
    WebLink::openService(this);
}

void UToolBar::on_tbFeedback_clicked()
{
    DFeedback dialog(this);
    dialog.exec();
}

void UToolBar::on_tbWeibo_clicked()
{
    WebLink::openService(this, "weibo");
}
