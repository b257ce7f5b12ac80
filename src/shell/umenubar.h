#pragma once

#include <QWidget>

namespace Ui {
class UMenuBar;
}
class UBook;

// The side menu of the book page: the new-bill button and one button per page. A page button's object name is
// a two-letter prefix followed by the page's name, so a click maps to its page by name alone.
class UMenuBar : public QWidget
{
    Q_OBJECT

public:
    // The parent must be the book page.
    explicit UMenuBar(QWidget* parent = nullptr);
    ~UMenuBar() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onNewBillButtonClicked();
    void onToolButtonClicked();

private:
    Ui::UMenuBar* ui;
    UBook* book;
};
