#pragma once

#include "data/mbill.h"
#include "widgets/dbasedialog.h"

namespace Ui {
class DQuickChange;
}

// Moves a set of bills to one other account, member, category with sub-category, or borrower at once; the
// mode ("account", "member", "category" or "borrower") says which. Everything else of the bills stays.
class DQuickChange : public DBaseDialog
{
    Q_OBJECT

public:
    DQuickChange(const QString& mode, const MBillList& bills, QWidget* parent = nullptr);
    ~DQuickChange() override;

private slots:
    void on_pbOK_clicked();
    void on_comboBox_currentIndexChanged(int index);

private:
    void refuse(const QString& message);

    Ui::DQuickChange* ui;
    QString mode;
    MBillList bills;
};
