#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DSyncAbout;
}

// Tells in words what a sync does and how changes made on two devices are merged.
class DSyncAbout : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DSyncAbout(QWidget* parent = nullptr);
    ~DSyncAbout() override;

private slots:
    void on_pushButton_clicked();

private:
    Ui::DSyncAbout* ui;
};
