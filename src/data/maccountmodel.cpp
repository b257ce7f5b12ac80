#include "data/maccountmodel.h"

#include "data/constants.h"
#include "data/metadata.h"

MAccountModel::MAccountModel(QObject* parent) : MRecordTableModel(parent)
{
    headers << tr("账户名称") << tr("账户类型") << tr("初始金额") << tr("账户余额") << tr("账户说明");
    m_accounts = *MAccount::get();
    double amount = 0.0;
    double balance = 0.0;
    for (const MAccount* account : std::as_const(m_accounts)) {
        amount += account->getAmount();
        balance += account->getBalance();
    }
    m_total.setName(tr("合计"));
    m_total.setAmount(amount);
    m_total.setBalance(balance);
}

int MAccountModel::recordCount() const
{
    return m_accounts.size() + 1;
}

MAccount* MAccountModel::getAccount(int row) const
{
    return m_accounts.value(row);
}

const void* MAccountModel::recordAt(int row) const
{
    return row == m_accounts.size() ? &m_total : m_accounts.value(row);
}

QString MAccountModel::text(int row, int column) const
{
    const MAccount* account = static_cast<const MAccount*>(recordAt(row));
    switch (column) {
    case 0:
        return account->getName();
    case 1:
        return Constants::getInstance()->getAccountKinds()->getLabel(account->getKind());
    case 2:
        return money(account->getAmount());
    case 3:
        return money(account->getBalance());
    default:
        return account->getDescription();
    }
}
