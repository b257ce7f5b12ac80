#pragma once

#include "analysis/mmemberstat.h"
#include "analysis/ownedrecords.h"
#include "analysis/wanalysispage.h"

namespace Ui {
class WMemberAnalysis;
}

// What each household member spent and earned in the period, with the shares of all members' figures.
class WMemberAnalysis : public WAnalysisPage
{
    Q_OBJECT

public:
    explicit WMemberAnalysis(QWidget* parent = nullptr);
    ~WMemberAnalysis() override;

protected:
    Titles titles() const override;
    void load(const QString& period, int value) override;
    QList<QStringList> tableRows() const override;
    QString chartHtml(const QString& title) const override;
    QString reportHtml(const QString& title) const override;

private:
    Ui::WMemberAnalysis* ui;
    OwnedRecords<MMemberStat> m_records;
};
