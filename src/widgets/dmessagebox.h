#pragma once

#include "widgets/dbasedialog.h"

#include <QDialogButtonBox>
#include <functional>

namespace Ui {
class DMessageBox;
}

// The program's own modal message box, in the same frameless, skinned frame as its other dialogs.
class DMessageBox : public DBaseDialog
{
    Q_OBJECT

public:
    // Answers a box in place of the user: gets the box's title and text and returns what exec() would have.
    using Responder = std::function<int(const QString& title, const QString& text)>;

    DMessageBox(QWidget* parent, const QString& title, const QString& text);
    ~DMessageBox() override;

    void setButtonText(QDialogButtonBox::StandardButton which, const QString& text);
    void setStandardButtons(QDialogButtonBox::StandardButtons buttons);
    void addButton(QDialogButtonBox::StandardButton which);

    void setVisible(bool visible) override;

    // Each returns 1 (QDialog::Accepted) for OK or Yes, 0 for No or the title bar's close button.
    static int error(QWidget* parent, const QString& text);
    static int question(QWidget* parent, const QString& title, const QString& text);
    static int information(QWidget* parent, const QString& title, const QString& text);
    // An information box whose text the user can select with the mouse and copy, for what he is to take elsewhere.
    static int informationToCopy(QWidget* parent, const QString& title, const QString& text);

    // While a responder is set no box is shown: the static calls hand their title and text to it and return its
    // answer, so that tests never block on a modal box. An empty responder restores the real boxes.
    static void setResponder(Responder responder);

private:
    static int run(QWidget* parent, const QString& title, const QString& text,
                   QDialogButtonBox::StandardButtons buttons, bool selectable = false);
    void fitText();
    QSize aroundText();
    void remeasure();

    Ui::DMessageBox* ui;
};
