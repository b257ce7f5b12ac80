#pragma once

#include <QWidget>

namespace Ui {
class UStatusBar;
}

// The strip at the bottom of the main window with the grip that resizes the frameless window. For now it
// holds only the grip; the sync state and the money summaries are not there yet.
class UStatusBar : public QWidget
{
    Q_OBJECT

public:
    explicit UStatusBar(QWidget* parent = nullptr);
    ~UStatusBar() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::UStatusBar* ui;
};
