#pragma once

#include <QString>

// What a page may ask of the page that holds it: to show another of its pages. The holder lies above the pages,
// so a page knows it only through this.
class PageHost
{
public:
    virtual ~PageHost() = default;

    // Shows the page named `name` without the "pg" prefix ("BillList"); an unknown name changes nothing.
    virtual void showPage(const QString& name) = 0;
};
