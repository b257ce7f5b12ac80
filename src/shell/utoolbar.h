#pragma once

#include <QWidget>

namespace Ui {
class UToolBar;
}
class UContent;

// The row of large buttons under the title bar: four choose the content page, three open the feedback form and
// two web pages.
class UToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit UToolBar(QWidget* parent = nullptr);
    ~UToolBar() override;

    // The content stack that the page buttons drive; set once, before the window is shown.
    void setContentWidget(UContent* content);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_tbSync_clicked();
    void on_tbData_clicked();
    void on_pbBook_clicked();
    void on_tbSetting_clicked();
    void on_tbWebsite_clicked();
    void on_tbFeedback_clicked();
    void on_tbWeibo_clicked();

private:
    void showPage(const QString& name);

    Ui::UToolBar* ui;
    UContent* contentWidget = nullptr;
};
