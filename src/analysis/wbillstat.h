#pragma once

#include "analysis/mperiodstat.h"
#include "analysis/ownedrecords.h"
#include "analysis/wanalysispage.h"

namespace Ui {
class WBillStat;
}

// Expense and income of a year month by month, or of a month day by day, with a column chart.
class WBillStat : public WAnalysisPage
{
    Q_OBJECT

public:
    explicit WBillStat(QWidget* parent = nullptr);
    ~WBillStat() override;

protected:
    Titles titles() const override;
    void load(const QString& period, int value) override;
    QList<QStringList> tableRows() const override;
    QString chartHtml(const QString& title) const override;
    QString reportHtml(const QString& title) const override;

private:
    Ui::WBillStat* ui;
    OwnedRecords<MPeriodStat> m_records;
};
