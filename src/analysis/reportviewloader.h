#pragma once

class QWidget;
class ReportView;

// Loads the browser view's plugin the first time a view is asked for.
class ReportViewLoader
{
public:
    // A new view with the given parent; null when the plugin cannot be loaded.
    static ReportView* create(QWidget* parent);
};
