#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DSync;
}

// The modal dialog in which one sync of the open book runs: the engine's latest log line over a busy bar, then
// either a success line with an OK button or, when the user asks for it, a close by itself. An error is told in
// one box and closes the dialog. Closing it early leaves the sync running.
class DSync : public DBaseDialog
{
    Q_OBJECT

public:
    // Starts the sync; the caller then runs exec().
    explicit DSync(QWidget* parent = nullptr);
    ~DSync() override;

private slots:
    void syncLog(QString message);
    void syncProgress(float progress);
    void syncFinished();
    void syncError(int code, QString message);
    void on_pbOK_clicked();
    void on_cbAutoClose_clicked();

private:
    // The sync may end before exec() has shown the dialog; a queued close still reaches it.
    void closeLater(int result);

    Ui::DSync* ui;
};
