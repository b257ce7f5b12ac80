#include "bookkeeping/dborrower.h"

#include "ui_dborrower.h"

DBorrower::DBorrower(QWidget* parent) : DRecordDialog(parent), ui(new Ui::DBorrower)
{
    ui->setupUi(this);
    setUp(ui->wgtTitle, tr("借款人"), ui->leName, ui->lnDescription, tr("借款人名称不能为空！"));
}

DBorrower::~DBorrower()
{
    delete ui;
}

void DBorrower::setBorrower(MBorrower* borrower)
{
    m_borrower.edit(borrower);
    showNameAndDescription(borrower->getName(), borrower->getDescription());
}

bool DBorrower::store()
{
    const auto change = [this](MBorrower& borrower) {
        borrower.setName(name());
        borrower.setDescription(description());
    };
    return m_borrower.store(change, &MBorrower::insert, &MBorrower::update);
}
