#include "billtesting.h"
#include "bookkeeping/dbill.h"
#include "bookkeeping/dcalculator.h"
#include "data/filesetting.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

namespace {
const QString hostile = "x'); drop table tbl_bill; --";
// The ids of an expense on records that exist.
const QMap<QString, QString> expenseIds{{"account_id", "a1"}, {"category_id", "c1"}, {"sub_category_id", "s1"}};

struct BillForm
{
    explicit BillForm(DBill& dialog) : dialog(dialog) {}
    template <typename T> T* get(const char* name) const { return dialog.findChild<T*>(name); }
    QComboBox* combo(const char* name) const { return get<QComboBox>(name); }
    void pick(const char* box, const QString& id) const
    {
        QComboBox* c = combo(box);
        c->setCurrentIndex(c->findData(id));
        emit c->activated(c->currentIndex());
    }
    // Clicks the kind button; for a loan kind, picks it in the loan-kind box as well.
    void chooseKind(const QString& kind) const
    {
        const QStringList own{"expense", "income", "transfer"};
        if (own.contains(kind)) {
            get<QRadioButton>(qPrintable("rb" + kind.left(1).toUpper() + kind.mid(1)))->click();
            return;
        }
        get<QRadioButton>("rbLoan")->click();
        pick("cbLoanKind", kind);
    }
    void enter(double amount, const QDate& date = QDate(2014, 5, 17)) const
    {
        get<QDoubleSpinBox>("dsbAmount")->setValue(amount);
        get<QDateEdit>("deDate")->setDate(date);
    }
    DBill& dialog;
};

int billCount()
{
    return BookRows::value("select count(*) from tbl_bill").toInt();
}

// The stored columns of the one bill row, or of the row with the id.
QVariantMap billRow(const QString& id = QString())
{
    const QStringList columns{
        "id",         "amount",        "description", "date",      "month", "category_id", "sub_category_id",
        "account_id", "to_account_id", "borrower_id", "member_id", "kind",  "title"};
    QVariantMap row;
    for (const QString& column : columns)
        row[column] = id.isEmpty() ? BookRows::value("select " + column + " from tbl_bill")
                                   : BookRows::value("select " + column + " from tbl_bill where id=?", {id});
    return row;
}

MBillPtr storedBill(const QString& id)
{
    for (const MBillPtr& bill : *MBill::get(" 1=1 "))
        if (bill->getId() == id)
            return bill;
    return MBillPtr();
}

QString lastText(const MessageBoxRecorder& boxes)
{
    return boxes.boxes().isEmpty() ? QString() : boxes.boxes().last().second;
}
} // namespace

class TestDBill : public RecordTest
{
    Q_OBJECT

private slots:
    void storesEachKindSigned_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QStringList>("ids"); // category, sub-category, to-account, borrower, member
        QTest::newRow("expense") << "expense" << -25.5 << QStringList{"c1", "s1", "", "", "m1"};
        QTest::newRow("income") << "income" << 25.5 << QStringList{"c2", "s2", "", "", "m1"};
        QTest::newRow("transfer") << "transfer" << -25.5 << QStringList{"", "", "a2", "", ""};
        QTest::newRow("lend") << "lend" << -25.5 << QStringList{"", "", "", "b1", ""};
        QTest::newRow("borrow") << "borrow" << 25.5 << QStringList{"", "", "", "b1", ""};
        QTest::newRow("refund") << "refund" << 25.5 << QStringList{"", "", "", "b1", ""};
        QTest::newRow("repay") << "repay" << -25.5 << QStringList{"", "", "", "b1", ""};
    }
    void storesEachKindSigned()
    {
        QFETCH(QString, kind);
        QFETCH(double, amount);
        QFETCH(QStringList, ids);
        MasterData().write();
        MessageBoxRecorder boxes;
        DBill dialog;
        BillForm form(dialog);
        form.chooseKind(kind);
        form.pick("cbToAccount", "a2");
        form.enter(25.5, QDate(2014, 12, 31));
        form.get<QTextEdit>("teDescription")->setPlainText(hostile);
        form.get<QLineEdit>("leTitle")->setText(hostile);
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(billCount(), 1);
        const QVariantMap row = billRow();
        QCOMPARE(row["id"].toString().size(), 36);
        QCOMPARE(row["kind"].toString(), kind);
        QCOMPARE(row["amount"].toDouble(), amount);
        QCOMPARE(row["date"].toString(), QString("2014-12-31"));
        QCOMPARE(row["month"].toInt(), 201412);
        QCOMPARE(row["account_id"].toString(), QString("a1"));
        const QStringList stored{row["category_id"].toString(), row["sub_category_id"].toString(),
                                 row["to_account_id"].toString(), row["borrower_id"].toString(),
                                 row["member_id"].toString()};
        QCOMPARE(stored, ids);
        QCOMPARE(row["description"].toString(), hostile);
        QCOMPARE(row["title"].toString(), hostile);
    }

    void offersToCreateWhatIsMissing_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("dialogs");
        // An empty kind: only what opening the dialog offers.
        QTest::newRow("account") << "accounts"
                                 << "" << QStringList{"请先建立一个 账户"} << QStringList{"DAccount"};
        QTest::newRow("category") << "categories"
                                  << "income"
                                  << QStringList{"请先建立一个 支出 大类，并在大类下创建 小类",
                                                 "请先建立一个 收入 大类，并在大类下创建 小类"}
                                  << QStringList{"DCategory", "DCategory"};
        QTest::newRow("sub-category, asked once")
            << "subCategories"
            << "" << QStringList{"当前大分类下没有小分类，你是否需要添加小分类?"} << QStringList{"DCategory"};
        QTest::newRow("second account") << "a2"
                                        << "transfer" << QStringList{"转账时，至少需要两个账户，请先再建立一个 账户"}
                                        << QStringList{"DAccount"};
        QTest::newRow("borrower") << "borrowers"
                                  << "repay" << QStringList{"请创建一个 借款人", "请先进入借款人列表创建一个 借款人"}
                                  << QStringList{"DBorrower", "DBorrower"};
    }
    void offersToCreateWhatIsMissing()
    {
        QFETCH(QString, missing);
        QFETCH(QString, kind);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, dialogs);
        MasterData data;
        data.accounts = missing != "accounts";
        data.categories = missing != "categories";
        data.subCategories = missing != "subCategories";
        data.borrowers = missing != "borrowers";
        data.write();
        if (missing == "a2")
            BookRows::exec("delete from tbl_account where id='a2'");
        BookRows::dropCaches();
        ModalRejecter rejecter;
        MessageBoxRecorder boxes(1);
        DBill dialog;
        if (!kind.isEmpty())
            BillForm(dialog).chooseKind(kind);

        QStringList shown;
        for (const auto& box : boxes.boxes())
            shown << box.second;
        QCOMPARE(shown, texts);
        QCOMPARE(rejecter.rejected(), dialogs);
    }

    void zeroAmountAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes stores") << 1;
        QTest::newRow("no keeps the dialog") << 0;
    }
    void zeroAmountAsksFirst()
    {
        QFETCH(int, answer);
        // No account either: the question still comes first, and No ends the save there.
        MasterData data;
        data.accounts = false;
        data.write();
        ModalRejecter rejecter;
        MessageBoxRecorder boxes(answer);
        DBill dialog;
        const int before = boxes.boxes().size();
        BillForm(dialog).get<QPushButton>("pbOk")->click();

        QCOMPARE(boxes.boxes().at(before), qMakePair(QString("确定继续?"), QString("账目金额为0，是否继续保存?")));
        QCOMPARE(boxes.boxes().size(), before + 1 + answer);
        if (answer)
            QCOMPARE(lastText(boxes), QString("请进入账户列表建立一个账户"));
        QCOMPARE(billCount(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void refusesMissingRecordsInOrder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accounts");
        QTest::addColumn<bool>("categories");
        QTest::addColumn<bool>("subCategories");
        QTest::addColumn<bool>("borrowers");
        QTest::addColumn<QString>("message");
        const QString noAccount = "请进入账户列表建立一个账户";
        QTest::newRow("account before category") << "expense" << false << false << false << true << noAccount;
        QTest::newRow("account before borrower") << "lend" << false << true << true << false << noAccount;
        QTest::newRow("category") << "expense" << true << false << false << true << "请进入分类列表建立一个大分类";
        QTest::newRow("sub-category") << "income" << true << true << false << true << "请进入分类列表建立一个小分类";
        QTest::newRow("borrower") << "repay" << true << false << false << false << "请进入借款人列表建立一个借款人";
        QTest::newRow("transfer needs neither") << "transfer" << true << false << false << false << "";
    }
    void refusesMissingRecordsInOrder()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accounts);
        QFETCH(bool, categories);
        QFETCH(bool, subCategories);
        QFETCH(bool, borrowers);
        QFETCH(QString, message);
        MasterData data;
        data.accounts = accounts;
        data.categories = categories;
        data.subCategories = subCategories;
        data.borrowers = borrowers;
        data.write();
        ModalRejecter rejecter;
        MessageBoxRecorder boxes(0);
        DBill dialog;
        BillForm form(dialog);
        form.chooseKind(kind);
        form.enter(10);
        const int before = boxes.boxes().size();
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(boxes.boxes().size(), before + (message.isEmpty() ? 0 : 1));
        if (!message.isEmpty())
            QCOMPARE(boxes.boxes().last(), qMakePair(QString("错误"), message));
        QCOMPARE(billCount(), message.isEmpty() ? 1 : 0);
        QCOMPARE(dialog.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), 10.0);
    }

    void continueSavesAgainAndAgain()
    {
        MasterData().write();
        MessageBoxRecorder boxes;
        DBill dialog;
        BillForm form(dialog);
        form.pick("cbAccount", "a2");
        for (double amount : {3.0, 4.0}) {
            form.enter(amount);
            form.get<QLineEdit>("leTitle")->setText("t");
            form.get<QTextEdit>("teDescription")->setPlainText("d");
            form.get<QPushButton>("pbContinue")->click();
            QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), 0.0);
            QVERIFY(form.get<QLineEdit>("leTitle")->text().isEmpty());
            QVERIFY(form.get<QTextEdit>("teDescription")->toPlainText().isEmpty());
        }
        QCOMPARE(billCount(), 2);
        QCOMPARE(BookRows::value("select count(distinct id) from tbl_bill").toInt(), 2);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where account_id='a2' and category_id='c1' "
                                 "and date='2014-05-17' and amount in (-3, -4)")
                     .toInt(),
                 2);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void keysSaveOrLeave_data()
    {
        QTest::addColumn<bool>("change");
        QTest::addColumn<bool>("continueOn");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("rows");
        QTest::newRow("new, Return") << false << false << int(Qt::Key_Return) << true << 2;
        QTest::newRow("new, Enter, continue on") << false << true << int(Qt::Key_Enter) << false << 2;
        QTest::newRow("change, Return, continue on") << true << true << int(Qt::Key_Return) << true << 1;
        QTest::newRow("Escape") << false << false << int(Qt::Key_Escape) << false << 1;
    }
    void keysSaveOrLeave()
    {
        QFETCH(bool, change);
        QFETCH(bool, continueOn);
        QFETCH(int, key);
        QFETCH(bool, accepted);
        QFETCH(int, rows);
        MasterData().write();
        FileSetting::getInstance()->setValue("Common/EnableBillEnterContinue", continueOn);
        const QString id = BookRows::addBill("expense", -1, expenseIds);
        MessageBoxRecorder boxes;
        DBill* dialog = change ? new DBill(storedBill(id)) : new DBill;
        BillForm form(*dialog);
        form.enter(9);
        QTest::keyClick(dialog, Qt::Key(key));

        QCOMPARE(dialog->result() == QDialog::Accepted, accepted);
        QCOMPARE(billCount(), rows);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where abs(amount)=9").toInt(),
                 key == Qt::Key_Escape ? 0 : 1);
        // After a continue-save the amount is ready for the next bill.
        QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), continueOn && !change ? 0.0 : 9.0);
        delete dialog;
    }

    void calculatorWorksOnTheAmount()
    {
        MasterData().write();
        DBill dialog;
        dialog.show();
        BillForm form(dialog);
        auto* button = form.get<QToolButton>("pbCalculator");
        button->click();
        auto* calculator = dialog.findChild<DCalculator*>();
        QVERIFY(calculator && calculator->isVisible());
        QTest::keyClicks(calculator, "3+4*2");
        QTest::keyClick(calculator, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), 14.0);
    }

    void changingAnExpenseIntoATransferClearsItsRecords()
    {
        MasterData().write();
        const QString id = BookRows::addBill(
            "expense", -8,
            {{"account_id", "a1"}, {"category_id", "c1"}, {"sub_category_id", "s1"}, {"member_id", "m1"}});
        MessageBoxRecorder boxes;
        DBill dialog(storedBill(id));
        BillForm form(dialog);
        QVERIFY(form.get<QPushButton>("pbContinue")->isHidden());
        form.chooseKind("transfer");
        form.pick("cbToAccount", "a2");
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(billCount(), 1);
        const QVariantMap row = billRow(id);
        QCOMPARE(row["kind"].toString(), QString("transfer"));
        QCOMPARE(row["amount"].toDouble(), -8.0);
        QCOMPARE(row["to_account_id"].toString(), QString("a2"));
        for (const char* cleared : {"category_id", "sub_category_id", "member_id"})
            QVERIFY2(row[cleared].toString().isEmpty(), cleared);
    }

    void loanButtonStoresTheLoanKindShown_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("amount");
        QTest::newRow("lend") << "lend" << -6.0;
        QTest::newRow("borrow") << "borrow" << 6.0;
        QTest::newRow("refund") << "refund" << 6.0;
        QTest::newRow("repay") << "repay" << -6.0;
    }
    void loanButtonStoresTheLoanKindShown()
    {
        QFETCH(QString, kind);
        QFETCH(double, amount);
        MasterData().write();
        MessageBoxRecorder boxes;
        DBill dialog;
        BillForm form(dialog);
        // The loan-kind box keeps its choice while the user looks at another kind.
        form.chooseKind(kind);
        form.chooseKind("expense");
        form.get<QRadioButton>("rbLoan")->click();
        form.enter(6);
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(form.combo("cbLoanKind")->currentData().toString(), kind);
        QCOMPARE(billRow()["kind"].toString(), kind);
        QCOMPARE(billRow()["amount"].toDouble(), amount);
    }

    void refusedSaveKeepsTheDialogOpen_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("new bill") << false;
        QTest::newRow("changed bill gone meanwhile") << true;
    }
    void refusedSaveKeepsTheDialogOpen()
    {
        QFETCH(bool, change);
        MasterData().write();
        const QString id = BookRows::addBill("expense", -1, expenseIds);
        MessageBoxRecorder boxes;
        DBill* dialog = change ? new DBill(storedBill(id)) : new DBill;
        BillForm form(*dialog);
        form.enter(42);
        if (change)
            BookRows::exec("delete from tbl_bill");
        else
            BookRows::refuseWrites("tbl_bill");
        const int before = boxes.boxes().size();
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(boxes.boxes().size(), before + 1);
        QCOMPARE(boxes.boxes().last(), qMakePair(QString("错误"), QString("保存失败，数据没有写入账本，请重试。")));
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), 42.0);
        QCOMPARE(billCount(), change ? 0 : 1);
        delete dialog;
    }

    void recordsThatAreGoneKeepTheirStoredIds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("picked"); // an id the user picks instead, or none
        QTest::newRow("account") << "expense"
                                 << "account_id"
                                 << "cbAccount"
                                 << "";
        QTest::newRow("account picked") << "expense"
                                        << "account_id"
                                        << "cbAccount"
                                        << "a2";
        QTest::newRow("category") << "expense"
                                  << "category_id"
                                  << "cbCategory"
                                  << "";
        QTest::newRow("sub-category") << "income"
                                      << "sub_category_id"
                                      << "cbSubCategory"
                                      << "";
        QTest::newRow("member") << "expense"
                                << "member_id"
                                << "cbMember"
                                << "";
        QTest::newRow("member picked") << "expense"
                                       << "member_id"
                                       << "cbMember"
                                       << "m1";
        QTest::newRow("borrower") << "borrow"
                                  << "borrower_id"
                                  << "cbBorrower"
                                  << "";
        QTest::newRow("to-account") << "transfer"
                                    << "to_account_id"
                                    << "cbToAccount"
                                    << "";
    }
    void recordsThatAreGoneKeepTheirStoredIds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, column);
        QFETCH(QString, box);
        QFETCH(QString, picked);
        MasterData().write();
        const bool own = kind == "expense" || kind == "income";
        QMap<QString, QString> ids{{"account_id", "a1"}};
        if (own)
            ids.insert({{"category_id", kind == "expense" ? "c1" : "c2"},
                        {"sub_category_id", kind == "expense" ? "s1" : "s2"},
                        {"member_id", "m1"}});
        else if (kind == "transfer")
            ids.insert("to_account_id", "a2");
        else
            ids.insert("borrower_id", "b1");
        ids.insert(column, "gone");
        const bool incoming = kind == "income" || kind == "borrow";
        const QString id = BookRows::addBill(kind, incoming ? 250000000.5 : -250000000.5, ids);
        MessageBoxRecorder boxes(0);
        DBill dialog(storedBill(id));
        BillForm form(dialog);
        QCOMPARE(form.combo(qPrintable(box))->currentIndex(), -1);
        if (!picked.isEmpty())
            form.pick(qPrintable(box), picked);
        form.get<QTextEdit>("teDescription")->setPlainText("edited");
        form.get<QPushButton>("pbOk")->click();

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QVariantMap row = billRow(id);
        QCOMPARE(row[column].toString(), picked.isEmpty() ? QString("gone") : picked);
        QCOMPARE(row["description"].toString(), QString("edited"));
        // The amount lies above what the box takes; untouched, it is kept as stored.
        QCOMPARE(row["amount"].toDouble(), incoming ? 250000000.5 : -250000000.5);
    }

    void changedAmountReplacesTheStoredOne()
    {
        MasterData().write();
        const QString id = BookRows::addBill("expense", -250000000.5, expenseIds);
        MessageBoxRecorder boxes;
        DBill dialog(storedBill(id));
        BillForm form(dialog);
        QCOMPARE(form.get<QDoubleSpinBox>("dsbAmount")->value(), 100000000.0);
        form.get<QDoubleSpinBox>("dsbAmount")->setValue(7);
        form.get<QPushButton>("pbOk")->click();
        QCOMPARE(billRow(id)["amount"].toDouble(), -7.0);
    }

    void choiceIsReadByIdAfterTheListsChange()
    {
        MasterData().write();
        MessageBoxRecorder boxes;
        DBill dialog;
        BillForm form(dialog);
        form.pick("cbAccount", "a2");
        form.enter(5);
        // Another window adds an account that sorts first; the box still means the account it shows.
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a0', '新', 'cash', 0, 0)");
        BookRows::dropCaches();
        form.get<QPushButton>("pbOk")->click();
        QCOMPARE(billRow()["account_id"].toString(), QString("a2"));
    }
};

QTEST_MAIN(TestDBill)
#include "tst_dbill.moc"
