#pragma once

#include <QCoreApplication>
#include <QUrl>

class QWidget;

// Opens a page of the program's web site in the user's browser.
class WebLink
{
    Q_DECLARE_TR_FUNCTIONS(WebLink)

public:
    // Without a browser to open it, a box over `parent` shows the address for the user to copy.
    static void open(QWidget* parent, const QUrl& url);
    // Opens the online service's page at `path` below its base address; when the address is refused, a box over
    // `parent` says what is wrong with it instead.
    static void openService(QWidget* parent, const QString& path = QString());
};
