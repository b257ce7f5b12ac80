#pragma once

#include <QWidget>

namespace Ui {
class UData;
}

// The data page of the content stack: backup of the open book to a chosen file, restore and import (both by
// restarting the program, since one process serves one book), the backup settings and the reset of the book.
class UData : public QWidget
{
    Q_OBJECT

public:
    explicit UData(QWidget* parent = nullptr);
    ~UData() override;

private slots:
    void on_pbBackup_clicked();
    void on_pbResotre_clicked();
    void on_pbAutoBackup_clicked();
    void on_pbKeddo_clicked();
    void on_pbAutoBackup_2_clicked();

private:
    // The file chosen in the open dialog, or empty when cancelled.
    QString chooseDataFile(const QString& caption);
    bool confirmReset();

    Ui::UData* ui;
};
