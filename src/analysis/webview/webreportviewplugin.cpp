#include "analysis/webview/webreportviewplugin.h"

#include "analysis/webview/webreportview.h"

ReportView* WebReportViewPlugin::create(QWidget* parent)
{
    return new WebReportView(parent);
}
