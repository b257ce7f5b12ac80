#include "widgets/dmessagebox.h"

#include "ui_dmessagebox.h"

#include <QPushButton>

namespace {
DMessageBox::Responder responder;
}

DMessageBox::DMessageBox(QWidget* parent, const QString& title, const QString& text)
    : DBaseDialog(parent), ui(new Ui::DMessageBox)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(title);
    ui->tlText->setText(text);
}

DMessageBox::~DMessageBox()
{
    delete ui;
}

void DMessageBox::setButtonText(QDialogButtonBox::StandardButton which, const QString& text)
{
    if (QPushButton* button = ui->dbbButtons->button(which))
        button->setText(text);
}

void DMessageBox::setStandardButtons(QDialogButtonBox::StandardButtons buttons)
{
    ui->dbbButtons->setStandardButtons(buttons);
}

void DMessageBox::addButton(QDialogButtonBox::StandardButton which)
{
    ui->dbbButtons->addButton(which);
}

int DMessageBox::error(QWidget* parent, const QString& text)
{
    return run(parent, tr("错误"), text, QDialogButtonBox::Ok);
}

int DMessageBox::question(QWidget* parent, const QString& title, const QString& text)
{
    return run(parent, title, text, QDialogButtonBox::Yes | QDialogButtonBox::No);
}

int DMessageBox::information(QWidget* parent, const QString& title, const QString& text)
{
    return run(parent, title, text, QDialogButtonBox::Ok);
}

int DMessageBox::informationToCopy(QWidget* parent, const QString& title, const QString& text)
{
    return run(parent, title, text, QDialogButtonBox::Ok, true);
}

void DMessageBox::setResponder(Responder answer)
{
    responder = std::move(answer);
}

int DMessageBox::run(QWidget* parent, const QString& title, const QString& text,
                     QDialogButtonBox::StandardButtons buttons, bool selectable)
{
    if (responder)
        return responder(title, text);
    // A window still being built is not on the screen yet: a box over it would stand where no window is, so it
    // stands in the middle of the screen instead.
    DMessageBox box(parent && parent->window()->isVisible() ? parent : nullptr, title, text);
    box.setStandardButtons(buttons);
    if (selectable)
        box.ui->tlText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setButtonText(QDialogButtonBox::Ok, tr("确定"));
    box.setButtonText(QDialogButtonBox::Yes, tr("是"));
    box.setButtonText(QDialogButtonBox::No, tr("否"));
    return box.exec();
}
