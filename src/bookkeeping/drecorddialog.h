#pragma once

#include "widgets/dbasedialog.h"

class QLineEdit;
class UDialogTitle;

// The frame and the OK and cancel buttons that the edit dialogs of accounts, borrowers, members and categories
// share. OK refuses an empty name, then writes the record and ends the dialog accepted only when the book took
// it; a refused write is reported and the dialog stays open with what the user typed.
class DRecordDialog : public DBaseDialog
{
    Q_OBJECT

protected:
    explicit DRecordDialog(QWidget* parent);

    // Called once the subclass has set up its form: the title and the name and description fields it shows.
    void setUp(UDialogTitle* title, const QString& caption, QLineEdit* name, QLineEdit* description,
               const QString& emptyNameText);
    QString name() const;
    QString description() const;
    void showNameAndDescription(const QString& name, const QString& description);

    // A refusal beyond the empty name, or an empty text when the input can be stored.
    virtual QString refusal() const;
    // Copies the input into the record and writes it; false when the book refused the write.
    virtual bool store() = 0;

private slots:
    void on_pbOK_clicked();
    void on_pbCancel_clicked();

private:
    QLineEdit* m_name = nullptr;
    QLineEdit* m_description = nullptr;
    QString m_emptyNameText;
};
