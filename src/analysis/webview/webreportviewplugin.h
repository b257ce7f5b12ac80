#pragma once

#include "analysis/reportviewfactory.h"

#include <QObject>

// The plugin that brings the browser engine into the program when the first chart or report is shown.
class WebReportViewPlugin : public QObject, public ReportViewFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ReportViewFactory_iid)
    Q_INTERFACES(ReportViewFactory)

public:
    WebReportViewPlugin();

    ReportView* create(QWidget* parent) override;
};
