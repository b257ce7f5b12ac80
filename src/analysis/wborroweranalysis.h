#pragma once

#include "analysis/mborrowerstat.h"
#include "analysis/ownedrecords.h"
#include "analysis/wanalysispage.h"

namespace Ui {
class WBorrowerAnalysis;
}

// The loans of every borrower in the period: borrowed, lent, repaid and received back.
class WBorrowerAnalysis : public WAnalysisPage
{
    Q_OBJECT

public:
    explicit WBorrowerAnalysis(QWidget* parent = nullptr);
    ~WBorrowerAnalysis() override;

protected:
    Titles titles() const override;
    void load(const QString& period, int value) override;
    QList<QStringList> tableRows() const override;
    QString chartHtml(const QString& title) const override;
    QString reportHtml(const QString& title) const override;

private:
    Ui::WBorrowerAnalysis* ui;
    OwnedRecords<MBorrowerStat> m_records;
};
