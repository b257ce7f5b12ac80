#pragma once

#include <QPoint>
#include <QWidget>

namespace Ui {
class UTitleBar;
}

// The frameless main window's caption: title and version, the open book with the switcher to the other books of
// the data folder, the skin button and the window buttons. It drags the window and maximises it on a
// double-click.
class UTitleBar : public QWidget
{
    Q_OBJECT

public:
    explicit UTitleBar(QWidget* parent = nullptr);
    ~UTitleBar() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_maxButton_clicked();
    void on_cbBookList_currentIndexChanged(int index);
    // Refills the switcher; the argument (the changed folder) is not needed.
    void bindBookList(const QString& a = QString());
    void on_pbSkin_clicked();

private:
    // Mouse position on the screen at the last press or drag step.
    QPoint dragPosition;
    QWidget* mainWindow;
    Ui::UTitleBar* ui;
};
