#include "widgets/udialogtitle.h"

#include "ui_udialogtitle.h"

#include <QDialog>
#include <QMouseEvent>

UDialogTitle::UDialogTitle(QWidget* parent) : QWidget(parent), ui(new Ui::UDialogTitle)
{
    ui->setupUi(this);
}

UDialogTitle::~UDialogTitle()
{
    delete ui;
}

void UDialogTitle::setTitle(const QString& title)
{
    ui->tlTitle->setText(title);
}

void UDialogTitle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && parentWidget())
        m_offset = event->globalPosition().toPoint() - parentWidget()->frameGeometry().topLeft();
    event->accept();
}

void UDialogTitle::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && parentWidget())
        parentWidget()->move(event->globalPosition().toPoint() - m_offset);
    event->accept();
}

void UDialogTitle::on_pbClose_clicked()
{
    if (auto* dialog = qobject_cast<QDialog*>(parentWidget()))
        dialog->done(QDialog::Rejected);
}
