#pragma once

#include "data/mbill.h"
#include "widgets/dbasedialog.h"

#include <QDate>
#include <QHash>
#include <optional>

class QComboBox;

namespace Ui {
class DBill;
}

// The editor of one bill: a new bill (today or a given day), a copy of a bill entered as a new one, or the
// change of a stored bill. It shows the rows the chosen kind needs, offers to create missing master data and
// stores the bill with its amount signed by kind.
class DBill : public DBaseDialog
{
    Q_OBJECT

public:
    explicit DBill(QWidget* parent = nullptr);
    DBill(const QDate& date, QWidget* parent = nullptr);
    // A bill with an id is changed in place; one without (a copy) is saved as a new bill.
    DBill(const MBillPtr& bill, QWidget* parent = nullptr);
    ~DBill() override;

    virtual void resetForm();
    virtual void setBill(const MBillPtr& bill);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_pbOk_clicked();
    void on_pbCancel_clicked();
    void onKindChanged();
    void onLoanKindChanged(int index);
    void on_pbContinue_clicked();
    void on_pbCreateCategory_clicked();
    void on_pbCreateSubCategory_clicked();
    void on_pbCreateAccount_clicked();
    void on_pbCreateBorrower_clicked();
    void on_pbCreateMember_clicked();
    void on_cbCategory_currentIndexChanged(int index);
    void on_pbCalculator_clicked();
    void on_cbContinue_clicked();

private:
    void init();
    void loadAccounts();
    void loadCategories();
    void loadBorrowers();
    void loadMembers();
    void selectComboData(QComboBox* combo, const QString& id);
    bool save();

    // Shows a stored id; one that names no record any more is kept for the save, with no item current, until
    // the user picks an item or the box is refilled.
    void showStoredId(QComboBox* combo, const QString& id);
    QString currentId(const QComboBox* combo) const;
    // The amount to store, unsigned: the one the bill came with until the user changes the amount box.
    double enteredAmount() const;
    void showRows(bool expenseOrIncome, bool transfer, bool loan);
    void checkExpenseOrIncomeData();
    void checkLoanData(const QString& message);
    void focusAmount();
    bool refuse(const QString& message);
    void tellMissing(const QString& message);

    // Each runs its create dialog and says whether it stored a record.
    bool createCategory(bool subCategory, const QString& parentId);
    bool createAccount();
    bool createBorrower();
    bool createMember();

    Ui::DBill* ui;
    QString kind;
    bool modify = false;
    MBillPtr bill;
    QHash<const QComboBox*, QString> m_storedIds;
    std::optional<double> m_storedAmount;
};
