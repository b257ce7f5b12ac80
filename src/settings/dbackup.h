#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DBackup;
}

// The backup folder and the four automatic backups of the open book. Nothing is stored before OK; an empty
// folder stands for the default one, and a relative folder is refused, since it would land wherever the
// program happens to be started from.
class DBackup : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DBackup(QWidget* parent = nullptr);
    ~DBackup() override;

private slots:
    void on_pbBackupDir_clicked();
    void on_pbCancel_clicked();
    void on_pbOk_clicked();

private:
    void showFolder(const QString& folder);

    Ui::DBackup* ui;
};
