#include "data/maccount.h"

#include "data/logcategories.h"
#include "data/notifier.h"
#include "data/recordsql.h"

#include <QSqlQuery>

namespace {
// The cache: the list object lives for the process, so a list pointer handed out never dangles; loaded
// says whether it holds the current rows.
QList<MAccount*> accounts;
bool loaded = false;
} // namespace

QString MAccount::getId() const
{
    return id;
}

void MAccount::setId(const QString& id)
{
    this->id = id;
}

QString MAccount::getName() const
{
    return name;
}

void MAccount::setName(const QString& name)
{
    this->name = name;
}

QString MAccount::getKind() const
{
    return kind;
}

void MAccount::setKind(const QString& kind)
{
    this->kind = kind;
}

double MAccount::getAmount() const
{
    return amount;
}

void MAccount::setAmount(double amount)
{
    this->amount = amount;
}

QString MAccount::getDescription() const
{
    return description;
}

void MAccount::setDescription(const QString& description)
{
    this->description = description;
}

int MAccount::getSort() const
{
    return sort;
}

void MAccount::setSort(int sort)
{
    this->sort = sort;
}

double MAccount::getBalance() const
{
    return balance;
}

void MAccount::setBalance(double balance)
{
    this->balance = balance;
}

QList<MAccount*>* MAccount::get()
{
    if (loaded)
        return &accounts;
    // Marked loaded before the query, so that calculateBalance below finds the list being built.
    loaded = true;
    QSqlQuery query;
    query.exec("select id,name,kind,amount,description,sort from tbl_account order by sort");
    while (query.next()) {
        MAccount* account = new MAccount;
        account->id = query.value(0).toString();
        account->name = query.value(1).toString();
        account->kind = query.value(2).toString();
        account->amount = query.value(3).toDouble();
        account->description = query.value(4).toString();
        account->sort = query.value(5).toInt();
        account->balance = account->amount;
        accounts.append(account);
    }
    calculateBalance();
    qCDebug(lcData) << "MAccount::get()";
    return &accounts;
}

MAccount* MAccount::getAccountById(const QString& id)
{
    return RecordSql::findById(*get(), id);
}

int MAccount::indexOf(const MAccount* account)
{
    return RecordSql::indexById(*get(), account->id);
}

int MAccount::getBillCount(const MAccount* account)
{
    // A transfer names its target only in to_account_id; the account is in use for it all the same.
    return RecordSql::count("select count(*) from tbl_bill where account_id=? or to_account_id=?",
                            {account->id, account->id});
}

bool MAccount::insert(MAccount* account)
{
    QSqlQuery query;
    query.prepare("insert into tbl_account (id, name,kind,amount,description,sort)  values (?,?, ?,?,?,?) ");
    if (account->id.isEmpty())
        account->id = RecordSql::newId();
    account->sort = get()->size() + 1;
    query.addBindValue(account->id);
    query.addBindValue(account->name);
    query.addBindValue(account->kind);
    query.addBindValue(account->amount);
    query.addBindValue(account->description);
    query.addBindValue(account->sort);
    const bool ok = RecordSql::exec(query);
    clearCache();
    return ok;
}

bool MAccount::update(MAccount* account)
{
    QSqlQuery query;
    query.prepare("update tbl_account set name = ? ,kind =? ,amount=?, description=? , sort=? where id = ? ");
    query.addBindValue(account->name);
    query.addBindValue(account->kind);
    query.addBindValue(account->amount);
    query.addBindValue(account->description);
    query.addBindValue(account->sort);
    query.addBindValue(account->id);
    const bool ok = RecordSql::execUpdate(query);
    clearCache();
    return ok;
}

bool MAccount::remove(MAccount* account)
{
    const bool ok = RecordSql::removeRow("tbl_account", account->id);
    clearCache();
    return ok;
}

void MAccount::calculateBalance()
{
    qCDebug(lcData) << "MAccount::calculateBalance";
    const QList<MAccount*>& list = *get();
    for (MAccount* account : list)
        account->balance = account->amount;

    // Bills carry their sign; a transfer is stored negative on its source, so its target gains the opposite.
    QSqlQuery query;
    query.exec("select account_id, total(amount) from tbl_bill group by account_id");
    while (query.next())
        for (MAccount* account : list)
            if (account->id == query.value(0).toString())
                account->balance += query.value(1).toDouble();
    query.exec("select to_account_id, total(amount) from tbl_bill group by to_account_id");
    while (query.next())
        for (MAccount* account : list)
            if (account->id == query.value(0).toString())
                account->balance -= query.value(1).toDouble();
}

void MAccount::clearCache()
{
    accounts.clear();
    loaded = false;
    Notifier::getInstance()->emitAccountDataChanged();
}
