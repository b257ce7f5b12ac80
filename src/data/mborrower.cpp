#include "data/mborrower.h"

#include "data/notifier.h"
#include "data/recordsql.h"

#include <QSqlQuery>

namespace {
// The cache: the list object lives for the process, so a list pointer handed out never dangles; loaded
// says whether it holds the current rows.
QList<MBorrower*> borrowers;
bool loaded = false;
} // namespace

QString MBorrower::getId() const
{
    return id;
}

void MBorrower::setId(const QString& id)
{
    this->id = id;
}

QString MBorrower::getName() const
{
    return name;
}

void MBorrower::setName(const QString& name)
{
    this->name = name;
}

double MBorrower::getBalance() const
{
    return balance;
}

void MBorrower::setBalance(double balance)
{
    this->balance = balance;
}

QString MBorrower::getDescription() const
{
    return description;
}

void MBorrower::setDescription(const QString& description)
{
    this->description = description;
}

int MBorrower::getSort() const
{
    return sort;
}

void MBorrower::setSort(int sort)
{
    this->sort = sort;
}

QList<MBorrower*>* MBorrower::getBorrowerList()
{
    if (loaded)
        return &borrowers;
    // Marked loaded before the query, so that calculateBalance below finds the list being built.
    loaded = true;
    QSqlQuery query;
    query.prepare("select id,name,kind,description,sort  from tbl_borrower order by sort  ");
    query.exec();
    while (query.next()) {
        MBorrower* borrower = new MBorrower;
        borrower->id = query.value(0).toString();
        borrower->name = query.value(1).toString();
        borrower->description = query.value(3).toString();
        borrower->sort = query.value(4).toInt();
        borrowers.append(borrower);
    }
    calculateBalance();
    return &borrowers;
}

MBorrower* MBorrower::getBorrowerById(const QString& id)
{
    return RecordSql::findById(*getBorrowerList(), id);
}

int MBorrower::indexOf(const MBorrower* borrower)
{
    return RecordSql::indexById(*getBorrowerList(), borrower->id);
}

int MBorrower::getBillCount(const MBorrower* borrower)
{
    return RecordSql::count("select count(*) from tbl_bill where borrower_id=?", {borrower->id});
}

bool MBorrower::insert(MBorrower* borrower)
{
    borrower->sort = getBorrowerList()->size() + 1;
    QSqlQuery query;
    query.prepare("insert into tbl_borrower (id, name, description, sort) values (?, ?, ?, ?) ");
    if (borrower->id.isEmpty())
        borrower->id = RecordSql::newId();
    query.addBindValue(borrower->id);
    query.addBindValue(borrower->name);
    query.addBindValue(borrower->description);
    query.addBindValue(borrower->sort);
    const bool ok = RecordSql::exec(query);
    clearCache();
    return ok;
}

bool MBorrower::update(MBorrower* borrower)
{
    QSqlQuery query;
    query.prepare("update tbl_borrower set name = ?, description=?, sort=? where id = ? ");
    query.addBindValue(borrower->name);
    query.addBindValue(borrower->description);
    query.addBindValue(borrower->sort);
    query.addBindValue(borrower->id);
    const bool ok = RecordSql::execUpdate(query);
    clearCache();
    return ok;
}

bool MBorrower::remove(MBorrower* borrower)
{
    const bool ok = RecordSql::removeRow("tbl_borrower", borrower->id);
    clearCache();
    return ok;
}

void MBorrower::calculateBalance()
{
    const QList<MBorrower*>& list = *getBorrowerList();
    for (MBorrower* borrower : list)
        borrower->balance = 0.0;

    QSqlQuery query;
    query.prepare("select borrower_id, total(amount) a from tbl_bill group by borrower_id");
    query.exec();
    while (query.next())
        for (MBorrower* borrower : list)
            if (borrower->id == query.value(0).toString())
                borrower->balance = query.value(1).toDouble();
}

void MBorrower::clearCache()
{
    borrowers.clear();
    loaded = false;
    Notifier::getInstance()->emitBorrowerDataChanged();
}
