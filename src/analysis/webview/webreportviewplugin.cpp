#include "analysis/webview/webreportviewplugin.h"

#include "analysis/webview/webreportview.h"

#include <QOpenGLContext>
#include <QQuickWindow>

WebReportViewPlugin::WebReportViewPlugin()
{
    // The engine's view draws through the graphics context the application shares; without a working one it is
    // drawn in software, decided before the first view is made.
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (!shared || !shared->isValid())
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

ReportView* WebReportViewPlugin::create(QWidget* parent)
{
    return new WebReportView(parent);
}
