#pragma once

#include <QWidget>

#include "widgets/pagehost.h"

namespace Ui {
class UBook;
}
class WBaseWidget;

// The book page: the side menu and the stack of the ten pages about the book's data. A page's container is
// named "pg" followed by the page name.
class UBook : public QWidget, public PageHost
{
    Q_OBJECT

public:
    explicit UBook(QWidget* parent = nullptr);
    ~UBook() override;

    // Shows the page named `name` ("BillList"); an unknown name leaves the current page.
    void showPage(const QString& name) override;
    // The page object in the container shown now.
    WBaseWidget* currentBaseWidget() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addPages();

    Ui::UBook* ui;
};
