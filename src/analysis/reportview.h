#pragma once

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

// The browser view in which the analysis pages show their charts and reports. It comes from a plugin that is
// loaded on first use (ReportViewLoader), so that the browser engine and the graphics stack it needs take no
// memory and start no process until somebody looks at a chart or a report.
class ReportView
{
public:
    virtual ~ReportView() = default;

    // The view itself, to be laid out on a page; deleting it deletes the view.
    virtual QWidget* widget() = 0;
    // Shows the HTML text; loaded is told whether the page loaded.
    virtual void setPage(const QString& html, const std::function<void(bool)>& loaded) = 0;
    // Prints the page shown in the background; the printer must live until printed is told the outcome.
    virtual void printPage(QPrinter* printer, const std::function<void(bool)>& printed) = 0;
    // Told when the view can show nothing more: the process that renders its pages ended other than normally.
    virtual void whenBroken(const std::function<void()>& broken) = 0;
};
