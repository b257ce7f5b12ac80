#include "bookkeeping/dquickchange.h"

#include "ui_dquickchange.h"

#include "bookkeeping/dcategory.h"
#include "bookkeeping/recordcombo.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "widgets/dmessagebox.h"

namespace {
// The kind all the bills share, or the empty text when they differ; the category list of the empty kind
// holds both kinds.
QString commonKind(const MBillList& bills)
{
    const QString kind = bills.isEmpty() ? QString() : bills.first()->getKind();
    for (const MBillPtr& bill : bills)
        if (bill->getKind() != kind)
            return QString();
    return kind;
}
} // namespace

DQuickChange::DQuickChange(const QString& mode, const MBillList& bills, QWidget* parent)
    : DBaseDialog(parent), ui(new Ui::DQuickChange), mode(mode), bills(bills)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("批量快捷操作"));
    ui->comboBox2->hide();
    ui->label2->hide();

    if (mode == "account") {
        ui->label->setText(tr("账户"));
        RecordCombo::fill(ui->comboBox, *MAccount::get());
    } else if (mode == "member") {
        ui->label->setText(tr("成员"));
        RecordCombo::fill(ui->comboBox, *MMember::getMemberList());
    } else if (mode == "category") {
        ui->label->setText(tr("大类"));
        // A bill keeps its kind here, so only categories of that kind fit it.
        RecordCombo::fill(ui->comboBox, *MCategory::getCategoryList(commonKind(bills)));
        ui->comboBox2->show();
        ui->label2->show();
    } else if (mode == "borrower") {
        ui->label->setText(tr("借款人"));
        RecordCombo::fill(ui->comboBox, *MBorrower::getBorrowerList());
    }
}

DQuickChange::~DQuickChange()
{
    delete ui;
}

void DQuickChange::on_comboBox_currentIndexChanged(int index)
{
    if (mode != "category")
        return;
    ui->comboBox2->clear();
    if (index < 0)
        return;
    const QString categoryId = ui->comboBox->itemData(index).toString();
    const MCategory* category = MCategory::getCategoryById(categoryId);
    if (category && MCategory::getSubCategoryList(categoryId)->isEmpty() &&
        DMessageBox::question(this, tr("确定新建?"), tr("当前大分类下没有小分类，你是否需要添加小分类?")) ==
            QDialog::Accepted) {
        DCategory dialog(category->getKind(), this, true, categoryId);
        dialog.exec();
    }
    RecordCombo::fill(ui->comboBox2, *MCategory::getSubCategoryList(categoryId));
}

void DQuickChange::on_pbOK_clicked()
{
    // Writing an empty id would cut the bills loose from any record.
    const QString targetId = RecordCombo::currentId(ui->comboBox);
    if (targetId.isEmpty())
        return refuse(tr("请选择一个%1").arg(ui->label->text()));
    const QString subCategoryId = RecordCombo::currentId(ui->comboBox2);
    if (mode == "category" && subCategoryId.isEmpty())
        return refuse(tr("请选择一个小类"));

    for (const MBillPtr& bill : std::as_const(bills)) {
        if (mode == "account") {
            bill->setAccountId(targetId);
        } else if (mode == "member") {
            bill->setMemberId(targetId);
        } else if (mode == "borrower") {
            bill->setBorrowerId(targetId);
        } else if (mode == "category") {
            bill->setCategoryId(targetId);
            bill->setSubCategoryId(subCategoryId);
        }
    }
    // Half a change would mix old and new in every total, so the bills change together or not at all; the
    // dialog stays open for another try.
    if (!MBill::updateAll(bills)) {
        DMessageBox::error(this, tr("保存失败，选中的 %1 条账目都没有改动，请重试。").arg(bills.size()));
        return;
    }
    accept();
}

void DQuickChange::refuse(const QString& message)
{
    DMessageBox::information(this, tr("错误"), message);
}
