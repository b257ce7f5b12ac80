#pragma once

#include <QWidget>

namespace Ui {
class UContent;
}

// The middle of the main window: the stack of the book, sync, data and settings pages, one shown at a time.
// A page is named "pg" followed by its page name ("pgBook").
class UContent : public QWidget
{
    Q_OBJECT

public:
    explicit UContent(QWidget* parent = nullptr);
    ~UContent() override;

    // Shows the page named `name` ("Book"); a name that is not one of this stack's pages changes nothing.
    void showPage(const QString& name);
    QWidget* currentWidget() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::UContent* ui;
};
