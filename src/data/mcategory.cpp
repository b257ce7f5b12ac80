#include "data/mcategory.h"

#include "data/mbill.h"
#include "data/notifier.h"
#include "data/recordsql.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
// The two halves of the cache. The list objects live for the process, so a list pointer handed out never
// dangles: dropping the cache empties them, and the next build fills them with new records.
struct CategoryHalf
{
    bool built = false;
    QList<MCategory*> all;
    QList<MCategory*> expense;
    QList<MCategory*> income;
};

struct SubCategoryHalf
{
    bool built = false;
    QList<MCategory*> all;
    // Keyed by the parent category id; entries stay (emptied) across drops for the same reason.
    QMap<QString, QList<MCategory*>*> byCategory;
    QList<MCategory*> none;
};

const char* const insertCategorySql =
    "insert into tbl_category (id, name,kind,description,sort)  values (?, ?, ?, ?, ?) ";
const char* const insertSubCategorySql =
    "insert into tbl_sub_category (id,category_id, name,kind,description,sort)  values (?, ?, ?, ?, ?, ?) ";
const char* const updateCategorySql = "update tbl_category set name = ? ,kind =? ,description=?,sort=? where id = ? ";
const char* const updateSubCategorySql =
    "update tbl_sub_category set category_id=? , name = ? ,kind =? ,description=?,sort=? where id = ? ";

CategoryHalf categories;
SubCategoryHalf subCategories;

QString tableOf(const MCategory* category)
{
    return category->getCategoryId().isEmpty() ? "tbl_category" : "tbl_sub_category";
}
} // namespace

QString MCategory::getCategoryId() const
{
    return categoryId;
}

void MCategory::setCategoryId(const QString& categoryId)
{
    this->categoryId = categoryId;
}

QString MCategory::getId() const
{
    return id;
}

void MCategory::setId(const QString& id)
{
    this->id = id;
}

QString MCategory::getName() const
{
    return name;
}

void MCategory::setName(const QString& name)
{
    this->name = name;
}

QString MCategory::getKind() const
{
    return kind;
}

void MCategory::setKind(const QString& kind)
{
    this->kind = kind;
}

QString MCategory::getDescription() const
{
    return description;
}

void MCategory::setDescription(const QString& description)
{
    this->description = description;
}

int MCategory::getSort() const
{
    return sort;
}

void MCategory::setSort(int sort)
{
    this->sort = sort;
}

MCategory* MCategory::getParent() const
{
    return parent;
}

void MCategory::setParent(MCategory* parent)
{
    this->parent = parent;
}

QList<MCategory*> MCategory::getChildren() const
{
    return children;
}

void MCategory::addChild(MCategory* child)
{
    children.append(child);
}

bool MCategory::insert()
{
    const bool sub = !categoryId.isEmpty();
    QSqlQuery query;
    query.prepare(sub ? insertSubCategorySql : insertCategorySql);
    if (id.isEmpty())
        id = RecordSql::newId();
    query.addBindValue(id);
    if (sub)
        query.addBindValue(categoryId);
    query.addBindValue(name);
    query.addBindValue(kind);
    query.addBindValue(description);
    // Lands among the last of its kind; the next cache build numbers the siblings afresh.
    sort = getCategoryList(kind)->size();
    query.addBindValue(sort);
    const bool ok = RecordSql::exec(query);
    clearCache();
    return ok;
}

bool MCategory::update()
{
    const bool sub = !categoryId.isEmpty();
    bool billsMoved = false;
    // A sub-category moved to another category takes its bills along, both or neither: otherwise its bills
    // would name a category that it is not under.
    const bool ok = RecordSql::allOrNothing([this, sub, &billsMoved] {
        QSqlQuery query;
        query.prepare(sub ? updateSubCategorySql : updateCategorySql);
        if (sub)
            query.addBindValue(categoryId);
        query.addBindValue(name);
        query.addBindValue(kind);
        query.addBindValue(description);
        query.addBindValue(sort);
        query.addBindValue(id);
        if (!RecordSql::execUpdate(query))
            return false;
        if (!sub)
            return true;
        query.prepare("select id from tbl_bill where category_id<>? and sub_category_id = ?");
        query.addBindValue(categoryId);
        query.addBindValue(id);
        if (!query.exec() || !query.next())
            return true;
        query.prepare("update tbl_bill set category_id=? where sub_category_id = ? ");
        query.addBindValue(categoryId);
        query.addBindValue(id);
        billsMoved = true;
        return RecordSql::exec(query);
    });
    if (billsMoved) {
        MBill::dataChanged();
        Notifier::getInstance()->emitBillDataChanged();
    }
    clearCache();
    return ok;
}

bool MCategory::remove()
{
    const bool ok = RecordSql::removeRow(tableOf(this), id);
    clearCache();
    return ok;
}

int MCategory::getBillCount() const
{
    return RecordSql::count(categoryId.isEmpty() ? "select count(*) from tbl_bill where category_id=?"
                                                 : "select count(*) from tbl_bill where sub_category_id=?",
                            {id});
}

QList<MCategory*>* MCategory::getCategoryList(const QString& kind)
{
    if (!categories.built) {
        categories.built = true;
        QSqlQuery query;
        // Ties, such as categories made on two devices at once, are split by id, so that every device of an account
        // numbers them alike.
        query.exec("select id,name,kind,description,sort from tbl_category order by sort, id");
        while (query.next()) {
            MCategory* category = new MCategory;
            category->id = query.value(0).toString();
            category->name = query.value(1).toString();
            category->kind = query.value(2).toString();
            category->description = query.value(3).toString();
            category->sort = query.value(4).toInt();
            for (MCategory* child : *getSubCategoryList(category->id)) {
                child->parent = category;
                category->children.append(child);
            }
            categories.all.append(category);
            (category->kind == "expense" ? categories.expense : categories.income).append(category);
        }
        // Positions run from 1 per kind and per category; rows already numbered are not written.
        for (const QList<MCategory*>* list : {&categories.expense, &categories.income})
            for (int i = 0; i < list->size(); ++i) {
                MCategory* category = list->at(i);
                renumber(category, i + 1);
                for (int j = 0; j < category->children.size(); ++j)
                    renumber(category->children.at(j), j + 1);
            }
    }
    if (kind == "expense")
        return &categories.expense;
    if (kind == "income")
        return &categories.income;
    return &categories.all;
}

QList<MCategory*>* MCategory::getSubCategoryList(const QString& categoryId)
{
    if (!subCategories.built) {
        subCategories.built = true;
        QSqlQuery query;
        query.exec("select id,category_id,name,kind,description, sort  from tbl_sub_category order by sort, id");
        while (query.next()) {
            MCategory* sub = new MCategory;
            sub->id = query.value(0).toString();
            sub->categoryId = query.value(1).toString();
            sub->name = query.value(2).toString();
            sub->kind = query.value(3).toString();
            sub->description = query.value(4).toString();
            sub->sort = query.value(5).toInt();
            subCategories.all.append(sub);
            QList<MCategory*>*& siblings = subCategories.byCategory[sub->categoryId];
            if (!siblings)
                siblings = new QList<MCategory*>;
            siblings->append(sub);
        }
    }
    if (categoryId.isEmpty())
        return &subCategories.all;
    return subCategories.byCategory.value(categoryId, &subCategories.none);
}

MCategory* MCategory::getCategoryById(const QString& id)
{
    return RecordSql::findById(*getCategoryList(""), id);
}

MCategory* MCategory::getSubCategoryById(const QString& id)
{
    return RecordSql::findById(*getSubCategoryList(""), id);
}

int MCategory::indexOf(const MCategory* category, const QString& kind)
{
    if (category->categoryId.isEmpty())
        return RecordSql::indexById(*getCategoryList(kind), category->id);
    // Found through the current cache, so that a copy or a record from before the last drop works too.
    const MCategory* owner = getCategoryById(category->categoryId);
    return owner ? RecordSql::indexById(owner->children, category->id) : -1;
}

bool MCategory::updateSort(MCategory* category, int sort)
{
    if (category->sort == sort)
        return true;
    category->sort = sort;
    QSqlQuery query;
    query.prepare("update " + tableOf(category) + " set sort=? where id = ? ");
    query.addBindValue(sort);
    query.addBindValue(category->id);
    return RecordSql::exec(query);
}

void MCategory::renumber(MCategory* category, int sort)
{
    if (category->sort == sort)
        return;
    category->sort = sort;
    // Nobody changed the record: the list only closes a gap or splits a tie, after a removal or after records from
    // another device came in. A new stamp would send it to the service as an edit, where it could undo a newer edit
    // of another device, and devices splitting the same tie in different orders would renumber one another's
    // records back and forth for ever. So the row is written again whole, stamp included: replacing a row fires
    // neither the update trigger, which would renew the stamp, nor the delete trigger.
    const QString table = tableOf(category);
    const QSqlRecord record = QSqlDatabase::database().record(table);
    QStringList columns;
    QStringList values;
    for (int i = 0; i < record.count(); ++i) {
        columns << record.fieldName(i);
        values << (record.fieldName(i) == "sort" ? "?" : record.fieldName(i));
    }
    QSqlQuery query;
    query.prepare("insert or replace into " + table + " (" + columns.join(',') + ") select " + values.join(',') +
                  " from " + table + " where id = ?");
    query.addBindValue(sort);
    query.addBindValue(category->id);
    RecordSql::exec(query);
}

void MCategory::clearCache()
{
    categories.all.clear();
    categories.expense.clear();
    categories.income.clear();
    categories.built = false;
    subCategories.all.clear();
    for (QList<MCategory*>* siblings : std::as_const(subCategories.byCategory))
        siblings->clear();
    subCategories.built = false;
    Notifier::getInstance()->emitCategoryDataChanged();
}
