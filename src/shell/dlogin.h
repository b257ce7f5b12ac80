#pragma once

#include "widgets/dbasedialog.h"

namespace Ui {
class DLogin;
}

// Asks which book to open, and its password when it has one. On success the chosen book is the current book.
class DLogin : public DBaseDialog
{
    Q_OBJECT

public:
    // `book`: the file name to preselect; empty for the book last opened.
    DLogin(QWidget* parent, const QString& book);
    ~DLogin() override;

private slots:
    void on_pbCancel_clicked();
    void on_pbOK_clicked();
    void on_cbDbList_currentIndexChanged(int index);

private:
    // Reads the selected book's password; false when the book cannot be read. No book selected reads as fine.
    bool readSelectedBook();
    void showReadError();

    Ui::DLogin* ui;
    // The selected book's stored password, valid while m_readable.
    QString m_expectedPassword;
    bool m_readable = false;
    QString m_readError;
};
