#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DFeedback;
}

// The feedback form: the user's e-mail address, given twice, and a message, sent to the makers' service. The
// address that passed the checks is remembered for the next time.
class DFeedback : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DFeedback(QWidget* parent = nullptr);
    ~DFeedback() override;

private slots:
    void on_pbOK_clicked();
    void feedbackSent(QString html);
    void sendError();
    void on_pbCancel_clicked();

private:
    void showFailure();

    Ui::DFeedback* ui;
};
