#pragma once

#include <QWidget>

namespace Ui {
class UHeader;
}
class UContent;

// The top band of the main window: the title bar above the tool bar.
class UHeader : public QWidget
{
    Q_OBJECT

public:
    explicit UHeader(QWidget* parent = nullptr);
    ~UHeader() override;

    // Hands the content stack to the tool bar.
    void setContentWidget(UContent* content);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::UHeader* ui;
};
