#pragma once

#include <QFrame>

namespace Ui {
class USkin;
}

// The skin popup under the title bar's skin button: a grid of colours that recolour the main window and the
// dialogs, and a button that brings back the default look. The choice is kept for the next start; the popup
// closes when the user clicks outside it.
class USkin : public QFrame
{
    Q_OBJECT

public:
    explicit USkin(QWidget* parent = nullptr);
    ~USkin() override;

private slots:
    void colorClick();
    void on_pbUseDefaultSkin_clicked();

private:
    Ui::USkin* ui;
};
