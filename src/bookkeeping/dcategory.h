#pragma once

#include "bookkeeping/drecorddialog.h"
#include "bookkeeping/editedrecord.h"
#include "data/mcategory.h"

namespace Ui {
class DCategory;
}

// Creates a category or a sub-category of one kind, or changes one after setCategory(). A sub-category is
// chosen a parent among the categories of its kind.
class DCategory : public DRecordDialog
{
    Q_OBJECT

public:
    // A non-empty `parentId` preselects that category as the parent of a new sub-category.
    DCategory(const QString& kind, QWidget* parent, bool subCategory, const QString& parentId);
    ~DCategory() override;

    void setCategory(MCategory* category);

protected:
    QString refusal() const override;
    bool store() override;

private:
    QString parentId() const;

    Ui::DCategory* ui;
    EditedRecord<MCategory> category;
    bool subCategory;
    QString kind;
};
