#include "data/mmember.h"

#include "data/notifier.h"
#include "data/recordsql.h"

#include <QSqlQuery>

namespace {
// The cache: the list object lives for the process, so a list pointer handed out never dangles; loaded
// says whether it holds the current rows.
QList<MMember*> members;
bool loaded = false;
} // namespace

QString MMember::getId() const
{
    return id;
}

void MMember::setId(const QString& id)
{
    this->id = id;
}

QString MMember::getName() const
{
    return name;
}

void MMember::setName(const QString& name)
{
    this->name = name;
}

QString MMember::getDescription() const
{
    return description;
}

void MMember::setDescription(const QString& description)
{
    this->description = description;
}

int MMember::getSort() const
{
    return sort;
}

void MMember::setSort(int sort)
{
    this->sort = sort;
}

QList<MMember*>* MMember::getMemberList()
{
    if (loaded)
        return &members;
    loaded = true;
    QSqlQuery query;
    query.prepare("select id,name,description,sort from tbl_member order by sort");
    query.exec();
    while (query.next()) {
        MMember* member = new MMember;
        member->id = query.value(0).toString();
        member->name = query.value(1).toString();
        member->description = query.value(2).toString();
        member->sort = query.value(3).toInt();
        members.append(member);
    }
    return &members;
}

MMember* MMember::getMemberById(const QString& id)
{
    return RecordSql::findById(*getMemberList(), id);
}

int MMember::indexOf(const MMember* member)
{
    return RecordSql::indexById(*getMemberList(), member->id);
}

int MMember::getBillCount(const MMember* member)
{
    return RecordSql::count("select count(*) from tbl_bill where member_id=?", {member->id});
}

bool MMember::insert(MMember* member)
{
    member->sort = getMemberList()->size() + 1;
    QSqlQuery query;
    query.prepare("insert into tbl_member (id, name,description,sort)  values (?, ?, ?,?) ");
    if (member->id.isEmpty())
        member->id = RecordSql::newId();
    query.addBindValue(member->id);
    query.addBindValue(member->name);
    query.addBindValue(member->description);
    query.addBindValue(member->sort);
    const bool ok = RecordSql::exec(query);
    clearCache();
    return ok;
}

bool MMember::update(MMember* member)
{
    QSqlQuery query;
    query.prepare("update tbl_member set name = ? ,description=?,sort=? where id = ? ");
    query.addBindValue(member->name);
    query.addBindValue(member->description);
    query.addBindValue(member->sort);
    query.addBindValue(member->id);
    const bool ok = RecordSql::execUpdate(query);
    clearCache();
    return ok;
}

bool MMember::remove(MMember* member)
{
    const bool ok = RecordSql::removeRow("tbl_member", member->id);
    clearCache();
    return ok;
}

void MMember::clearCache()
{
    members.clear();
    loaded = false;
    Notifier::getInstance()->emitMemberDataChanged();
}
