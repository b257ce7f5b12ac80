#pragma once

#include "analysis/reportview.h"

#include <QWebEngineView>

// The report view on the browser engine.
class WebReportView : public QWebEngineView, public ReportView
{
public:
    explicit WebReportView(QWidget* parent);
    ~WebReportView() override;

    QWidget* widget() override;
    void setPage(const QString& html, const std::function<void(bool)>& loaded) override;
    void printPage(QPrinter* printer, const std::function<void(bool)>& printed) override;
    void whenBroken(const std::function<void()>& broken) override;

private:
    std::function<void(bool)> m_loaded;
    std::function<void(bool)> m_printed;
    std::function<void()> m_broken;
};
