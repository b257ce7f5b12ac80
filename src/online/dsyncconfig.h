#pragma once

#include "widgets/dbasedialog.h"

#include <QPointer>

namespace Ui {
class DSyncConfig;
}
class HttpHelper;

// The sync account (name and password) and the automatic syncs at start and close. The service checks the
// account first; only a confirmed account is stored, with the two options. A stored name cannot be changed.
class DSyncConfig : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DSyncConfig(QWidget* parent = nullptr);
    // Where a sync is started in a book without a sync account: says so and lets the user enter one. True when
    // the book has an account afterwards.
    static bool askForAccount(QWidget* parent);
    ~DSyncConfig() override;

private slots:
    void on_pbOK_clicked();
    void on_pbCancel_clicked();
    void on_pbSignup_clicked();
    void downloadHtml(QString html);
    void downloadError();

private:
    void store();
    // Back to idle after a failed check, with the box that says why.
    void refuse(const QString& text);
    // Drops a check under way: an answer that comes after the dialog has closed changes nothing.
    void abandonCheck();
    void setChecking(bool checking);

    Ui::DSyncConfig* ui;
    QPointer<HttpHelper> m_check;
};
