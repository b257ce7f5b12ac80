#pragma once

#include "analysis/maccountstat.h"
#include "analysis/ownedrecords.h"
#include "analysis/wanalysispage.h"

namespace Ui {
class WAccountAnalysis;
}

// The period's bills on every account split by bill kind; the pie shows the kind chosen in chart mode.
class WAccountAnalysis : public WAnalysisPage
{
    Q_OBJECT

public:
    explicit WAccountAnalysis(QWidget* parent = nullptr);
    ~WAccountAnalysis() override;

protected:
    Titles titles() const override;
    QString chartKind() const override;
    void load(const QString& period, int value) override;
    QList<QStringList> tableRows() const override;
    QString chartHtml(const QString& title) const override;
    QString reportHtml(const QString& title) const override;

private:
    Ui::WAccountAnalysis* ui;
    OwnedRecords<MAccountStat> m_records;
};
