#include "shell/framelessdialog.h"

#include "widgets/udialogtitle.h"

#include <QDialog>
#include <QVBoxLayout>

QWidget* FramelessDialog::frame(QDialog* dialog, const QString& title, const QSize& size)
{
    dialog->setProperty("style", "dialog");
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->resize(size);
    auto* layout = new QVBoxLayout(dialog);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* titleBar = new UDialogTitle(dialog);
    titleBar->setObjectName("wgtTitle");
    titleBar->setTitle(title);
    titleBar->setMinimumHeight(30);
    layout->addWidget(titleBar);
    auto* body = new QWidget(dialog);
    body->setObjectName("wgtContent");
    layout->addWidget(body, 1);
    return body;
}
