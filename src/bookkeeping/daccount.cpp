#include "bookkeeping/daccount.h"

#include "ui_daccount.h"

#include "data/constants.h"
#include "data/metadata.h"

#include <QListView>

DAccount::DAccount(QWidget* parent) : DRecordDialog(parent), ui(new Ui::DAccount)
{
    ui->setupUi(this);
    setUp(ui->wgtTitle, tr("账户"), ui->leName, ui->lnDescription, tr("账户名称不能为空！"));
    ui->cbKind->setView(new QListView(this));
    const auto kinds = Constants::getInstance()->getAccountKinds()->getList();
    for (const auto& [label, code] : kinds)
        ui->cbKind->addItem(label, code);
}

DAccount::~DAccount()
{
    delete ui;
}

void DAccount::setAccount(MAccount* account)
{
    m_account.edit(account);
    showNameAndDescription(account->getName(), account->getDescription());
    // A kind this program does not know selects nothing; saving then keeps it.
    ui->cbKind->setCurrentIndex(ui->cbKind->findData(account->getKind()));
    ui->dsbAmount->setValue(account->getAmount());
}

bool DAccount::store()
{
    const auto change = [this](MAccount& account) {
        account.setName(name());
        if (ui->cbKind->currentIndex() >= 0)
            account.setKind(ui->cbKind->currentData().toString());
        account.setAmount(ui->dsbAmount->value());
        account.setDescription(description());
    };
    return m_account.store(change, &MAccount::insert, &MAccount::update);
}
