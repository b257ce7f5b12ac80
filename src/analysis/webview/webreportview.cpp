#include "analysis/webview/webreportview.h"

#include <QUrl>

WebReportView::WebReportView(QWidget* parent) : QWebEngineView(parent)
{
    setObjectName("webView");
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_loaded)
            m_loaded(ok);
    });
    connect(this, &QWebEngineView::printFinished, this, [this](bool ok) {
        if (m_printed)
            m_printed(ok);
    });
    connect(this, &QWebEngineView::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                if (status != QWebEnginePage::NormalTerminationStatus && m_broken)
                    m_broken();
            });
}

WebReportView::~WebReportView()
{
    // What the engine reports while it goes down reaches nobody.
    m_loaded = nullptr;
    m_printed = nullptr;
    m_broken = nullptr;
}

QWidget* WebReportView::widget()
{
    return this;
}

void WebReportView::setPage(const QString& html, const std::function<void(bool)>& loaded)
{
    m_loaded = loaded;
    setHtml(html, QUrl());
}

void WebReportView::printPage(QPrinter* printer, const std::function<void(bool)>& printed)
{
    m_printed = printed;
    print(printer);
}

void WebReportView::whenBroken(const std::function<void()>& broken)
{
    m_broken = broken;
}
