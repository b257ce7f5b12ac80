#include "widgets/dmessagebox.h"

#include "ui_dmessagebox.h"

#include <QPushButton>
#include <QScreen>

namespace {
DMessageBox::Responder responder;
}

DMessageBox::DMessageBox(QWidget* parent, const QString& title, const QString& text)
    : DBaseDialog(parent), ui(new Ui::DMessageBox)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(title);
    ui->tlText->setPlainText(text);
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

void DMessageBox::setVisible(bool visible)
{
    if (visible && !isVisible())
        fitText();
    DBaseDialog::setVisible(visible);
}

// A box is no wider than its screen, and no wider or taller than the window it stands over where its text fits
// there. A text too long for the screen's height scrolls, so that the buttons stay on the screen.
void DMessageBox::fitText()
{
    ensurePolished();
    QWidget* over = parentWidget() && parentWidget()->window()->isVisible() ? parentWidget()->window() : nullptr;
    const QSize screenRoom = (over ? over->screen() : screen())->availableGeometry().size();
    ui->tlText->fitWithin(screenRoom.width(), screenRoom.height());
    const QSize around = aroundText();
    const int textHeight = screenRoom.height() - around.height();
    const bool inWindow = over && over->width() < screenRoom.width() && over->width() > around.width();
    if (inWindow)
        ui->tlText->fitWithin(over->width() - around.width(), textHeight);
    if (!inWindow || ui->tlText->height() + around.height() > over->height())
        ui->tlText->fitWithin(screenRoom.width() - around.width(), textHeight);
    remeasure();
}

// What the frame, the title and the buttons take around the text, as the layouts measure it. With the text laid
// out as wide as it goes, the text is the widest part of the box if any text is.
QSize DMessageBox::aroundText()
{
    remeasure();
    return layout()->totalMinimumSize() - ui->tlText->minimumSize();
}

// The layouts keep what they measured last: each one from the text up to the box measures again.
void DMessageBox::remeasure()
{
    for (QWidget* widget = ui->tlText; widget != this; widget = widget->parentWidget())
        widget->updateGeometry();
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
        box.ui->tlText->setSelectable(true);
    box.setButtonText(QDialogButtonBox::Ok, tr("确定"));
    box.setButtonText(QDialogButtonBox::Yes, tr("是"));
    box.setButtonText(QDialogButtonBox::No, tr("否"));
    return box.exec();
}
