#include "data/mbill.h"

#include "data/billreader.h"
#include "data/logcategories.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "data/recordsql.h"

#include <QSqlQuery>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {
MBillListPtr cachedList;
QString cachedCondition;
// Absent until somebody first reads the months, so that the first comparison never announces a change.
std::optional<QList<int>> rememberedMonths;

const char* const updateSql = "update tbl_bill set amount=?,description=?,date=?,month=?,category_id=?,"
                              "sub_category_id=?,account_id=?,to_account_id=?,borrower_id=?,member_id=?,title=?,"
                              "kind=? where id = ? ";

QList<int> sorted(QList<int> months)
{
    std::sort(months.begin(), months.end());
    return months;
}
} // namespace

MBill::MBill() = default;

MBill::~MBill() = default;

QString MBill::getId() const
{
    return id;
}

void MBill::setId(const QString& id)
{
    this->id = id;
}

double MBill::getAmount() const
{
    return amount;
}

void MBill::setAmount(double amount)
{
    this->amount = amount;
}

QString MBill::getDescription() const
{
    return description;
}

void MBill::setDescription(const QString& description)
{
    this->description = description;
}

QDate MBill::getDate() const
{
    return date;
}

void MBill::setDate(const QDate& date)
{
    this->date = date;
}

int MBill::getMonth() const
{
    return month;
}

void MBill::setMonth(int month)
{
    this->month = month;
}

QString MBill::getCategoryId() const
{
    return category_id;
}

void MBill::setCategoryId(const QString& categoryId)
{
    category_id = categoryId;
}

QString MBill::getSubCategoryId() const
{
    return sub_category_id;
}

void MBill::setSubCategoryId(const QString& subCategoryId)
{
    sub_category_id = subCategoryId;
}

QString MBill::getAccountId() const
{
    return account_id;
}

void MBill::setAccountId(const QString& accountId)
{
    account_id = accountId;
}

QString MBill::getToAccountId() const
{
    return to_account_id;
}

void MBill::setToAccountId(const QString& toAccountId)
{
    to_account_id = toAccountId;
}

QString MBill::getBorrowerId() const
{
    return borrower_id;
}

void MBill::setBorrowerId(const QString& borrowerId)
{
    borrower_id = borrowerId;
}

QString MBill::getMemberId() const
{
    return member_id;
}

void MBill::setMemberId(const QString& memberId)
{
    member_id = memberId;
}

QString MBill::getKind() const
{
    return kind;
}

void MBill::setKind(const QString& kind)
{
    this->kind = kind;
}

QString MBill::getTitle() const
{
    return title;
}

void MBill::setTitle(const QString& title)
{
    this->title = title;
}

MBillList* MBill::getChildren()
{
    return &links().children;
}

bool MBill::isGroup() const
{
    return m_tree && m_tree->group;
}

void MBill::setGroup(bool group)
{
    if (group || m_tree)
        links().group = group;
}

bool MBill::isExpanded() const
{
    return !m_tree || m_tree->expanded;
}

void MBill::setExpanded(bool expanded)
{
    if (!expanded || m_tree)
        links().expanded = expanded;
}

MBillPtr MBill::getParent() const
{
    return m_tree ? m_tree->parent.toStrongRef() : MBillPtr();
}

void MBill::setParent(const MBillPtr& parent)
{
    links().parent = parent;
}

MBill::TreeLinks& MBill::links()
{
    if (!m_tree)
        m_tree = std::make_unique<TreeLinks>();
    return *m_tree;
}

MBill::Day::Day(const QDate& date)
    : m_julianDay(date.isValid() && std::abs(date.toJulianDay()) < std::numeric_limits<qint32>::max()
                      ? qint32(date.toJulianDay())
                      : std::numeric_limits<qint32>::min())
{
}

MBill::Day::operator QDate() const
{
    return m_julianDay == std::numeric_limits<qint32>::min() ? QDate() : QDate::fromJulianDay(m_julianDay);
}

MBillPtr MBill::clone() const
{
    MBillPtr copy = MBillPtr::create();
    copy->amount = amount;
    copy->description = description;
    copy->date = date;
    copy->month = month;
    copy->category_id = category_id;
    copy->sub_category_id = sub_category_id;
    copy->account_id = account_id;
    copy->to_account_id = to_account_id;
    copy->borrower_id = borrower_id;
    copy->member_id = member_id;
    copy->kind = kind;
    copy->title = title;
    return copy;
}

MAccount* MBill::getAccount() const
{
    return MAccount::getAccountById(account_id);
}

MAccount* MBill::getToAccount() const
{
    return MAccount::getAccountById(to_account_id);
}

MCategory* MBill::getCategory() const
{
    return MCategory::getCategoryById(category_id);
}

MCategory* MBill::getSubCategory() const
{
    return MCategory::getSubCategoryById(sub_category_id);
}

MBorrower* MBill::getBorrower() const
{
    return MBorrower::getBorrowerById(borrower_id);
}

MMember* MBill::getMember() const
{
    return MMember::getMemberById(member_id);
}

MMember* MBill::findMember(const QList<MMember*>& list, const QString& id) const
{
    return RecordSql::findById(list, id);
}

MBorrower* MBill::findBorrower(const QList<MBorrower*>& list, const QString& id) const
{
    return RecordSql::findById(list, id);
}

MAccount* MBill::findAccount(const QList<MAccount*>& list, const QString& id) const
{
    return RecordSql::findById(list, id);
}

MCategory* MBill::findCategory(const QList<MCategory*>& list, const QString& id) const
{
    return RecordSql::findById(list, id);
}

MBillListPtr MBill::get(const QString& condition)
{
    if (cachedList && condition == cachedCondition)
        return cachedList;
    if (condition != cachedCondition)
        Notifier::getInstance()->emitListConditionChanged(condition);
    cachedCondition = condition;
    // The list cached before stays with its holders; they let go of it when they reload. It is let go of before
    // the query, so that the cache never holds two whole lists at once.
    cachedList = MBillListPtr::create();
    *cachedList = BillReader::read(listQuery(condition));
    return cachedList;
}

QString MBill::listQuery(const QString& condition)
{
    return "select id,amount,description,date,month,category_id,sub_category_id,account_id,to_account_id,"
           "borrower_id, member_id, title, kind from tbl_bill where " +
           condition + " order by date desc, created_time desc, id desc";
}

QList<int> MBill::getMonthList()
{
    QList<int> months;
    QSqlQuery query;
    query.setForwardOnly(true);
    query.exec("select distinct month  from tbl_bill order by month desc");
    while (query.next())
        months.append(query.value(0).toInt());
    if (!rememberedMonths)
        rememberedMonths = months;
    return months;
}

void MBill::dataChanged()
{
    // Holders of the dropped list see it empty; the bills in it live on while anybody still holds them.
    if (cachedList) {
        cachedList->clear();
        cachedList.reset();
    }
    Notifier::getInstance()->emitBillDataChanged();
    MAccount::calculateBalance();
    MBorrower::calculateBalance();

    const QList<int> months = sorted(getMonthList());
    if (months == sorted(*rememberedMonths))
        return;
    rememberedMonths = months;
    Notifier::getInstance()->emitMonthListChanged();
}

void MBill::resetCache()
{
    cachedList.reset();
    cachedCondition.clear();
    rememberedMonths.reset();
}

bool MBill::insert()
{
    id = RecordSql::newId();
    QSqlQuery query;
    query.prepare("insert into tbl_bill (id,amount,description,date,month,category_id,sub_category_id,account_id,"
                  "to_account_id,borrower_id,member_id,title,kind)  values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ");
    query.addBindValue(id);
    bindFields(query);
    const bool ok = RecordSql::exec(query);
    qCDebug(lcData) << query.lastQuery();
    dataChanged();
    return ok;
}

bool MBill::update()
{
    QSqlQuery query;
    query.prepare(updateSql);
    const bool ok = updateRow(query);
    dataChanged();
    return ok;
}

bool MBill::remove()
{
    const bool ok = RecordSql::removeRow("tbl_bill", id);
    dataChanged();
    return ok;
}

bool MBill::updateAll(const MBillList& bills)
{
    QSqlQuery query;
    query.prepare(updateSql);
    const bool ok = RecordSql::allOrNothing([&bills, &query] {
        return std::all_of(bills.cbegin(), bills.cend(),
                           [&query](const MBillPtr& bill) { return bill->updateRow(query); });
    });
    dataChanged();
    return ok;
}

bool MBill::removeAll(const MBillList& bills)
{
    const bool ok = RecordSql::allOrNothing([&bills] {
        return std::all_of(bills.cbegin(), bills.cend(),
                           [](const MBillPtr& bill) { return RecordSql::removeRow("tbl_bill", bill->id); });
    });
    dataChanged();
    return ok;
}

bool MBill::updateRow(QSqlQuery& query) const
{
    bindFields(query);
    query.addBindValue(id);
    return RecordSql::execUpdate(query);
}

void MBill::bindFields(QSqlQuery& query) const
{
    query.addBindValue(amount);
    // The column refuses NULL, which is what a description never set would bind as.
    query.addBindValue(description.isNull() ? QString("") : description);
    query.addBindValue(getDate());
    query.addBindValue(month);
    query.addBindValue(category_id);
    query.addBindValue(sub_category_id);
    query.addBindValue(account_id);
    query.addBindValue(to_account_id);
    query.addBindValue(borrower_id);
    query.addBindValue(member_id);
    query.addBindValue(title);
    query.addBindValue(kind);
}
