#pragma once

#include <QDialog>

// The dialog for the sync account's name and password. For now only its frame: it stores nothing.
class DSyncConfig : public QDialog
{
    Q_OBJECT

public:
    explicit DSyncConfig(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
