#pragma once

#include <QWidget>

class QShowEvent;

// Base of every page of the book page: a page reloads its data each time it becomes visible, so no page has to
// follow changes made elsewhere while it is hidden.
class WBaseWidget : public QWidget
{
    Q_OBJECT

public:
    explicit WBaseWidget(QWidget* parent = nullptr);
    ~WBaseWidget() override;

    // Reloads the page's data and view state; the base page has nothing to load.
    virtual void bind();

protected:
    void showEvent(QShowEvent* event) override;
    // Asks the book page to show another of its pages, named without the "pg" prefix ("BillList").
    void showPage(const QString& name);
};
