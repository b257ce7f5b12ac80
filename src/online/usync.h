#pragma once

#include <QWidget>

namespace Ui {
class USync;
}

// The sync page: sync now, the sync account and its options, and the rules of the sync.
class USync : public QWidget
{
    Q_OBJECT

public:
    explicit USync(QWidget* parent = nullptr);
    ~USync() override;

private slots:
    void on_pbSync_clicked();
    void on_pbConfig_clicked();
    void on_pbAbount_clicked();

private:
    Ui::USync* ui;
};
