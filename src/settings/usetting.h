#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>

namespace Ui {
class USetting;
}
class QCheckBox;
class QColorButton;

// The settings page: program options, the bill kinds' colours and the bill list's page size, each stored the
// moment the user changes it; the open book's login password; and the book files of the data folder.
class USetting : public QWidget
{
    Q_OBJECT

public:
    explicit USetting(QWidget* parent = nullptr);
    ~USetting() override;

private slots:
    void on_cbEnableBillTitle_clicked();
    void on_cbEnableBillMember_clicked();
    void on_cbEnableSystemTrayIcon_clicked();
    void on_cbEnableAutoUpdate_clicked();
    void on_cbEnableHttpProxy_clicked();
    void on_pbOK_clicked();
    void on_pbCreateBook_clicked();
    void on_pbRenameBook_clicked();
    void on_pbDeleteBook_clicked();
    void on_cbExpenseColor_clicked();
    void on_cbIncomeColor_clicked();
    void on_cbTransferColor_clicked();
    void on_cbLendColor_clicked();
    void on_cbBorrowColor_clicked();
    void on_cbRefundColor_clicked();
    void on_cbRepayColor_clicked();
    void on_cbAnalysisAllData_clicked();
    void on_pbClear_clicked();
    void on_cbPageSize_currentIndexChanged(int index);

private:
    struct Option
    {
        QCheckBox* box;
        const char* key;
        bool defaultValue;
    };
    struct KindColor
    {
        QColorButton* button;
        const char* key;
        QColor defaultColor;
    };
    QList<Option> options() const;
    QList<KindColor> kindColors() const;

    void loadValues();
    void storeOption(QCheckBox* box, const char* key);
    void storeColor(QColorButton* button, const char* key);
    void enableProxyFields(bool on);
    void refreshBookList();

    // Stores the password in the open book; on a refused or failed change tells the user and returns false.
    bool storePassword(const QString& password);
    // The name typed in the book name dialog; empty when cancelled.
    QString askBookName();
    // The list's current book, or an empty text when none is current.
    QString currentBook() const;
    bool isBookInUse(const QString& name) const;
    QString badNameText() const;

    Ui::USetting* ui;
};
