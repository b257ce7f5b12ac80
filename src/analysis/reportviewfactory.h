#pragma once

#include <QtPlugin>

class QWidget;
class ReportView;

// What the browser view's plugin offers: new views.
class ReportViewFactory
{
public:
    virtual ~ReportViewFactory() = default;

    virtual ReportView* create(QWidget* parent) = 0;
};

#define ReportViewFactory_iid "org.quillbay.ReportViewFactory/1.0"
Q_DECLARE_INTERFACE(ReportViewFactory, ReportViewFactory_iid)
