#pragma once

#include "analysis/mcategorystat.h"
#include "analysis/ownedrecords.h"
#include "analysis/wanalysispage.h"

#include <memory>

namespace Ui {
class WCategoryAnalysis;
}
class WItemDelegate;

// The bills of the expense or the income categories and their sub-categories: count, sum and share of the kind.
class WCategoryAnalysis : public WAnalysisPage
{
    Q_OBJECT

public:
    explicit WCategoryAnalysis(QWidget* parent = nullptr);
    ~WCategoryAnalysis() override;

protected:
    Titles titles() const override;
    void load(const QString& period, int value) override;
    void showTable() override;
    QString chartHtml(const QString& title) const override;
    QString reportHtml(const QString& title) const override;
    void kindChosen() override;

private slots:
    void on_pbCollapseExpand_clicked();

private:
    QStringList cells(const MCategoryStat* record, const QString& kindLabel) const;

    Ui::WCategoryAnalysis* ui;
    QString kind = "expense";
    bool expanded = true;
    OwnedRecords<MCategoryStat> m_records;
    std::unique_ptr<WItemDelegate> m_delegate;
};
