#pragma once

#include <QDialog>

// The feedback form. For now only its frame: it sends nothing.
class DFeedback : public QDialog
{
    Q_OBJECT

public:
    explicit DFeedback(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
