#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DDatePeriod;
}

// Asks for a start and an end date and turns them into the date part of the bill condition.
class DDatePeriod : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DDatePeriod(QWidget* parent);
    ~DDatePeriod() override;

    // The condition on the bill date, both days included; empty until OK succeeded.
    QString getCondition() const;

private slots:
    void on_pbOk_clicked();
    void on_pbCancel_clicked();

private:
    Ui::DDatePeriod* ui;
    QString condition;
};
