#include "bookkeeping/dcategory.h"

#include "data/logcategories.h"
#include "ui_dcategory.h"

#include <QListView>
#include <QSqlError>
#include <QSqlQuery>

DCategory::DCategory(const QString& kind, QWidget* parent, bool subCategory, const QString& parentId)
    : DRecordDialog(parent), ui(new Ui::DCategory), subCategory(subCategory), kind(kind)
{
    ui->setupUi(this);
    setUp(ui->wgtTitle, tr("分类"), ui->leName, ui->lnDescription, tr("分类名称不能为空！"));
    ui->cbParentId->setView(new QListView(this));
    if (!subCategory) {
        ui->formLayout->setRowVisible(ui->cbParentId, false);
        return;
    }
    QSqlQuery query;
    query.prepare("select id,name,kind,description,sort from tbl_category where kind=?");
    query.addBindValue(kind);
    if (!query.exec())
        qCWarning(lcBookkeeping) << "DCategory: parent categories" << query.lastError().text();
    while (query.next())
        ui->cbParentId->addItem(query.value(1).toString(), query.value(0).toString());
    // No parent id, or one that is not there, leaves the first category current.
    const int index = ui->cbParentId->findData(parentId);
    if (index > 0)
        ui->cbParentId->setCurrentIndex(index);
}

DCategory::~DCategory()
{
    delete ui;
}

void DCategory::setCategory(MCategory* record)
{
    category.edit(record);
    kind = record->getKind();
    if (subCategory)
        ui->cbParentId->setCurrentIndex(ui->cbParentId->findData(record->getCategoryId()));
    showNameAndDescription(record->getName(), record->getDescription());
}

QString DCategory::parentId() const
{
    return ui->cbParentId->currentData().toString();
}

QString DCategory::refusal() const
{
    // Without a parent the record would be stored as a category, not the sub-category the user asked for.
    if (subCategory && parentId().isEmpty())
        return tr("小类必须属于一个大类，请先选择所属大类。");
    return QString();
}

bool DCategory::store()
{
    const auto change = [this](MCategory& record) {
        if (subCategory)
            record.setCategoryId(parentId());
        record.setName(name());
        record.setKind(kind);
        record.setDescription(description());
    };
    return category.store(change, &MCategory::insert, &MCategory::update);
}
