#pragma once

#include <QDialog>

// Base of the program's dialogs: frameless, drawn in the skin's dialog style, and laid out and placed over its
// parent before its window exists, so that the program's idea of where the dialog stands stays the window
// manager's, and the lists, calendars and message boxes it opens stand at their boxes and over it.
class DBaseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DBaseDialog(QWidget* parent = nullptr);

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
