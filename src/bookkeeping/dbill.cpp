#include "bookkeeping/dbill.h"

#include "ui_dbill.h"

#include "bookkeeping/daccount.h"
#include "bookkeeping/dborrower.h"
#include "bookkeeping/dcalculator.h"
#include "bookkeeping/dcategory.h"
#include "bookkeeping/dmember.h"
#include "bookkeeping/recordcombo.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/metadata.h"
#include "data/mmember.h"
#include "widgets/dmessagebox.h"

#include <QKeyEvent>
#include <QListView>
#include <QTimer>

namespace {
// Money leaving the account is stored negative.
bool isOutgoing(const QString& kind)
{
    return kind == "expense" || kind == "transfer" || kind == "lend" || kind == "repay";
}

bool isExpenseOrIncome(const QString& kind)
{
    return kind == "expense" || kind == "income";
}
} // namespace

DBill::DBill(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DBill)
{
    init();
}

DBill::DBill(const QDate& date, QWidget* parent) : DBaseDialog(parent), ui(new Ui::DBill)
{
    init();
    ui->deDate->setDate(date);
}

DBill::DBill(const MBillPtr& bill, QWidget* parent) : DBaseDialog(parent), ui(new Ui::DBill)
{
    init();
    setBill(bill);
}

DBill::~DBill()
{
    delete ui;
}

void DBill::init()
{
    kind = "expense";
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("账目"));

    for (QRadioButton* button : {ui->rbExpense, ui->rbIncome, ui->rbTransfer, ui->rbLoan})
        connect(button, &QRadioButton::clicked, this, &DBill::onKindChanged);
    for (const auto& loanKind : Constants::getInstance()->getLoanKinds()->getList())
        ui->cbLoanKind->addItem(loanKind.first, loanKind.second);
    connect(ui->cbLoanKind, qOverload<int>(&QComboBox::currentIndexChanged), this, &DBill::onLoanKindChanged);

    ui->pbOk->setProperty("style", "green");
    ui->pbCancel->setProperty("style", "blue");
    ui->pbContinue->setProperty("style", "blue");
    ui->cbContinue->setChecked(FileSetting::getInstance()->getValue("Common/EnableBillEnterContinue", false).toBool());
    // Hidden while a stored bill is changed, they keep their room, so that the fields stand where they stand
    // for a new bill.
    for (QWidget* continuing : std::initializer_list<QWidget*>{ui->cbContinue, ui->pbContinue}) {
        QSizePolicy policy = continuing->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        continuing->setSizePolicy(policy);
    }

    for (QComboBox* combo : {ui->cbAccount, ui->cbBorrower, ui->cbCategory, ui->cbLoanKind, ui->cbMember,
                             ui->cbSubCategory, ui->cbToAccount}) {
        combo->setView(new QListView(this));
        // A pick of the user's own replaces a stored id that names no record.
        connect(combo, qOverload<int>(&QComboBox::activated), this, [this, combo] { m_storedIds.remove(combo); });
    }
    connect(ui->dsbAmount, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this] { m_storedAmount.reset(); });

    resetForm();
}

void DBill::resetForm()
{
    modify = false;
    ui->pbContinue->show();
    ui->rbExpense->click();
    ui->cbLoanKind->setCurrentIndex(0);
    ui->deDate->setDate(QDate::currentDate());
    ui->dsbAmount->setValue(0);
    ui->teDescription->setPlainText(QString());
    ui->leTitle->clear();
    // The expense button has loaded categories, accounts and members; loading them again would only repeat
    // the question about a category without sub-categories.
    loadBorrowers();
    const bool titles = FileSetting::getInstance()->getValue("Common/EnableBillTitle", false).toBool();
    ui->lblTitle->setVisible(titles);
    ui->leTitle->setVisible(titles);
    m_storedAmount.reset();
    focusAmount();
}

void DBill::setBill(const MBillPtr& shown)
{
    if (!shown)
        return;
    if (!shown->getId().isEmpty()) {
        ui->pbContinue->hide();
        ui->cbContinue->hide();
        modify = true;
        bill = shown;
        ui->deDate->setDate(shown->getDate());
    }
    const QString billKind = shown->getKind();
    kind = billKind;
    if (billKind == "expense")
        ui->rbExpense->click();
    else if (billKind == "income")
        ui->rbIncome->click();
    else if (billKind == "transfer")
        ui->rbTransfer->click();
    else
        ui->rbLoan->click();

    showStoredId(ui->cbAccount, shown->getAccountId());
    if (isExpenseOrIncome(billKind)) {
        showStoredId(ui->cbCategory, shown->getCategoryId());
        showStoredId(ui->cbSubCategory, shown->getSubCategoryId());
        showStoredId(ui->cbMember, shown->getMemberId());
    } else if (billKind == "transfer") {
        showStoredId(ui->cbToAccount, shown->getToAccountId());
    } else {
        selectComboData(ui->cbLoanKind, billKind);
        loadBorrowers();
        showStoredId(ui->cbBorrower, shown->getBorrowerId());
    }
    ui->dsbAmount->setValue(qAbs(shown->getAmount()));
    // Kept beyond the box's range and decimals, so that editing other fields never changes the amount.
    m_storedAmount = qAbs(shown->getAmount());
    ui->leTitle->setText(shown->getTitle());
    ui->teDescription->setPlainText(shown->getDescription());
}

void DBill::selectComboData(QComboBox* combo, const QString& id)
{
    RecordCombo::select(combo, id);
}

void DBill::showStoredId(QComboBox* combo, const QString& id)
{
    if (RecordCombo::select(combo, id) || id.isEmpty())
        return;
    // The record is gone (removed here or by a sync): show no item rather than store another record's id.
    combo->setCurrentIndex(-1);
    m_storedIds.insert(combo, id);
}

QString DBill::currentId(const QComboBox* combo) const
{
    return combo->currentIndex() >= 0 ? RecordCombo::currentId(combo) : m_storedIds.value(combo);
}

double DBill::enteredAmount() const
{
    return m_storedAmount.value_or(ui->dsbAmount->value());
}

void DBill::onKindChanged()
{
    auto* button = qobject_cast<QRadioButton*>(sender());
    if (!button)
        return;
    kind = button->objectName().mid(2).toLower();
    const bool transfer = button == ui->rbTransfer;
    const bool loan = button == ui->rbLoan;
    showRows(!transfer && !loan, transfer, loan);

    if (loan) {
        // The loan-kind box keeps its choice while another kind is chosen; taking the kind from it keeps the
        // stored kind and sign the same as what the user sees.
        kind = ui->cbLoanKind->currentData().toString();
        loadBorrowers();
        checkLoanData(tr("请创建一个 借款人"));
    } else if (transfer) {
        if (ui->cbAccount->count() < 2) {
            tellMissing(tr("转账时，至少需要两个账户，请先再建立一个 账户"));
            if (createAccount())
                loadAccounts();
        }
    } else {
        loadCategories();
        loadAccounts();
        loadMembers();
        const bool members =
            ui->cbMember->count() > 0 && FileSetting::getInstance()->getValue("Common/EnableBillMember", true).toBool();
        ui->lblMember->setVisible(members);
        ui->cbMember->setVisible(members);
        ui->pbCreateMember->setVisible(members);
        checkExpenseOrIncomeData();
    }
}

void DBill::showRows(bool expenseOrIncome, bool transfer, bool loan)
{
    ui->lblLoan->setVisible(loan);
    ui->cbLoanKind->setVisible(loan);
    ui->lblCategory->setVisible(expenseOrIncome);
    ui->cbCategory->setVisible(expenseOrIncome);
    ui->cbSubCategory->setVisible(expenseOrIncome);
    ui->lblToAccount->setVisible(transfer);
    ui->cbToAccount->setVisible(transfer);
    ui->lblBorrower->setVisible(loan);
    ui->cbBorrower->setVisible(loan);
    ui->pbCreateCategory->setVisible(expenseOrIncome);
    ui->pbCreateSubCategory->setVisible(expenseOrIncome);
    ui->pbCreateBorrower->setVisible(loan);
    if (!expenseOrIncome) {
        ui->lblMember->hide();
        ui->cbMember->hide();
        ui->pbCreateMember->hide();
    }
}

void DBill::checkExpenseOrIncomeData()
{
    if (ui->cbCategory->count() == 0) {
        tellMissing(kind == "income" ? tr("请先建立一个 收入 大类，并在大类下创建 小类")
                                     : tr("请先建立一个 支出 大类，并在大类下创建 小类"));
        if (createCategory(false, QString())) {
            createCategory(true, QString());
            loadCategories();
        }
    }
    if (ui->cbAccount->count() == 0) {
        tellMissing(tr("请先建立一个 账户"));
        if (createAccount())
            loadAccounts();
    }
}

void DBill::checkLoanData(const QString& message)
{
    if (ui->cbBorrower->count() > 0)
        return;
    tellMissing(message);
    if (createBorrower())
        loadBorrowers();
}

void DBill::onLoanKindChanged(int index)
{
    if (!ui->rbLoan->isChecked())
        return;
    kind = ui->cbLoanKind->itemData(index).toString();
    loadBorrowers();
    checkLoanData(tr("请先进入借款人列表创建一个 借款人"));
}

void DBill::loadAccounts()
{
    const QList<MAccount*> accounts = *MAccount::get();
    for (QComboBox* combo : {ui->cbAccount, ui->cbToAccount}) {
        m_storedIds.remove(combo);
        RecordCombo::fill(combo, accounts);
    }
}

void DBill::loadCategories()
{
    m_storedIds.remove(ui->cbCategory);
    RecordCombo::fill(ui->cbCategory, *MCategory::getCategoryList(kind));
}

void DBill::loadBorrowers()
{
    m_storedIds.remove(ui->cbBorrower);
    RecordCombo::fill(ui->cbBorrower, *MBorrower::getBorrowerList());
}

void DBill::loadMembers()
{
    m_storedIds.remove(ui->cbMember);
    RecordCombo::fill(ui->cbMember, *MMember::getMemberList());
}

void DBill::on_cbCategory_currentIndexChanged(int index)
{
    m_storedIds.remove(ui->cbSubCategory);
    ui->cbSubCategory->clear();
    // An emptied box names no category: asking about its sub-categories would only repeat the question.
    if (index < 0)
        return;
    const QString categoryId = ui->cbCategory->itemData(index).toString();
    if (MCategory::getSubCategoryList(categoryId)->isEmpty() &&
        DMessageBox::question(this, tr("确定新建?"), tr("当前大分类下没有小分类，你是否需要添加小分类?")) ==
            QDialog::Accepted)
        createCategory(true, categoryId);
    RecordCombo::fill(ui->cbSubCategory, *MCategory::getSubCategoryList(categoryId));
}

bool DBill::createCategory(bool subCategory, const QString& parentId)
{
    DCategory dialog(kind, this, subCategory, parentId);
    return dialog.exec() == QDialog::Accepted;
}

bool DBill::createAccount()
{
    DAccount dialog(this);
    return dialog.exec() == QDialog::Accepted;
}

bool DBill::createBorrower()
{
    DBorrower dialog(this);
    return dialog.exec() == QDialog::Accepted;
}

bool DBill::createMember()
{
    DMember dialog(this);
    return dialog.exec() == QDialog::Accepted;
}

void DBill::on_pbCreateCategory_clicked()
{
    if (createCategory(false, QString()))
        loadCategories();
}

void DBill::on_pbCreateSubCategory_clicked()
{
    if (createCategory(true, QString()))
        loadCategories();
}

void DBill::on_pbCreateAccount_clicked()
{
    if (createAccount())
        loadAccounts();
}

void DBill::on_pbCreateBorrower_clicked()
{
    if (createBorrower())
        loadBorrowers();
}

void DBill::on_pbCreateMember_clicked()
{
    if (createMember())
        loadMembers();
}

void DBill::on_pbCalculator_clicked()
{
    auto* calculator = new DCalculator(ui->dsbAmount, this);
    calculator->move(ui->pbCalculator->mapToGlobal(QPoint(0, ui->pbCalculator->height())));
    calculator->show();
}

void DBill::on_cbContinue_clicked()
{
    FileSetting::getInstance()->setValue("Common/EnableBillEnterContinue", ui->cbContinue->isChecked());
}

void DBill::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (!modify && ui->cbContinue->isChecked())
            ui->pbContinue->click();
        else
            ui->pbOk->click();
        break;
    case Qt::Key_Escape:
        reject();
        break;
    default:
        // Keys the fields left alone end here; the dialog's default-button handling must not see them.
        break;
    }
}

void DBill::on_pbCancel_clicked()
{
    reject();
}

void DBill::on_pbOk_clicked()
{
    if (save())
        accept();
}

void DBill::on_pbContinue_clicked()
{
    if (!save())
        return;
    ui->dsbAmount->setValue(0);
    m_storedAmount.reset();
    ui->teDescription->setPlainText(QString());
    ui->leTitle->clear();
    focusAmount();
}

void DBill::focusAmount()
{
    // Once the dialog shows, so that typing replaces the amount.
    QTimer::singleShot(0, ui->dsbAmount, qOverload<>(&QWidget::setFocus));
    QTimer::singleShot(100, ui->dsbAmount, &QAbstractSpinBox::selectAll);
}

void DBill::tellMissing(const QString& message)
{
    DMessageBox::information(this, tr("错误"), message);
}

bool DBill::refuse(const QString& message)
{
    tellMissing(message);
    return false;
}

bool DBill::save()
{
    const double value = enteredAmount();
    if (value == 0 &&
        DMessageBox::question(this, tr("确定继续?"), tr("账目金额为0，是否继续保存?")) != QDialog::Accepted)
        return false;
    const QString accountId = currentId(ui->cbAccount);
    if (accountId.isEmpty())
        return refuse(tr("请进入账户列表建立一个账户"));
    if (isExpenseOrIncome(kind)) {
        if (currentId(ui->cbCategory).isEmpty())
            return refuse(tr("请进入分类列表建立一个大分类"));
        if (currentId(ui->cbSubCategory).isEmpty())
            return refuse(tr("请进入分类列表建立一个小分类"));
    } else if (kind != "transfer" && currentId(ui->cbBorrower).isEmpty()) {
        return refuse(tr("请进入借款人列表建立一个借款人"));
    }

    const bool expenseOrIncome = isExpenseOrIncome(kind);
    const bool transfer = kind == "transfer";
    const bool loan = !expenseOrIncome && !transfer;
    const QDate date = ui->deDate->date();
    MBillPtr target = modify ? bill : MBillPtr::create();
    target->setAmount(isOutgoing(kind) && value != 0 ? -value : value);
    target->setDescription(ui->teDescription->toPlainText());
    target->setDate(date);
    target->setMonth(date.year() * 100 + date.month());
    target->setCategoryId(expenseOrIncome ? currentId(ui->cbCategory) : QString());
    target->setSubCategoryId(expenseOrIncome ? currentId(ui->cbSubCategory) : QString());
    target->setAccountId(accountId);
    target->setToAccountId(transfer ? currentId(ui->cbToAccount) : QString());
    target->setBorrowerId(loan ? currentId(ui->cbBorrower) : QString());
    target->setMemberId(expenseOrIncome ? currentId(ui->cbMember) : QString());
    target->setKind(kind);
    target->setTitle(ui->leTitle->text());

    if (!(modify ? target->update() : target->insert())) {
        DMessageBox::error(this, tr("保存失败，数据没有写入账本，请重试。"));
        return false;
    }
    bill = target;
    return true;
}
