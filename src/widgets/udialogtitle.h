#pragma once

#include <QPoint>
#include <QWidget>

namespace Ui {
class UDialogTitle;
}

// The title bar of a frameless dialog: shows the title, closes the dialog and drags it. It always acts on its
// direct parent, which must be the dialog itself.
class UDialogTitle : public QWidget
{
    Q_OBJECT

public:
    explicit UDialogTitle(QWidget* parent = nullptr);
    ~UDialogTitle() override;

    void setTitle(const QString& title);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private slots:
    void on_pbClose_clicked();

private:
    Ui::UDialogTitle* ui;
    // From the dialog's top-left frame corner to the mouse at the last left-button press.
    QPoint m_offset;
};
