#pragma once

#include "bookkeeping/drecorddialog.h"
#include "bookkeeping/editedrecord.h"
#include "data/mborrower.h"

namespace Ui {
class DBorrower;
}

// Creates a borrower, or changes one after setBorrower().
class DBorrower : public DRecordDialog
{
    Q_OBJECT

public:
    explicit DBorrower(QWidget* parent);
    ~DBorrower() override;

    void setBorrower(MBorrower* borrower);

protected:
    bool store() override;

private:
    Ui::DBorrower* ui;
    EditedRecord<MBorrower> m_borrower;
};
