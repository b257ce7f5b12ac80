#pragma once

#include <QByteArray>
#include <QStringList>

class QWidget;
class ReportView;

// Loads the browser view's plugin the first time a view is asked for. What keeps the views from being drawn as
// usual is said once, on the terminal: a graphics context that cannot be made (the views are then drawn in
// software) or a plugin that does not load (there are then no views).
class ReportViewLoader
{
public:
    // A new view with the given parent; null when the plugin cannot be loaded.
    static ReportView* create(QWidget* parent);

    // The browser engine's flags: those given in its environment variable, with the sandbox off for root, which
    // Chromium would not start with it, and its own log kept to fatal errors unless the given flags ask otherwise.
    static QByteArray engineFlags(const QByteArray& given, bool root);

    // Only tests call it: the folders the plugin is looked for in from now on, loaded afresh for the next view;
    // an empty list brings back the program's own folders.
    static void setPluginFolders(const QStringList& folders);
};
