#pragma once

#include <QDialog>

// The modal dialog in which one sync of the open book runs; it ends when the sync has ended.
class DSync : public QDialog
{
    Q_OBJECT

public:
    explicit DSync(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
