#pragma once

#include "bookkeeping/drecorddialog.h"
#include "bookkeeping/editedrecord.h"
#include "data/maccount.h"

namespace Ui {
class DAccount;
}

// Creates an account, or changes one after setAccount().
class DAccount : public DRecordDialog
{
    Q_OBJECT

public:
    explicit DAccount(QWidget* parent);
    ~DAccount() override;

    void setAccount(MAccount* account);

protected:
    bool store() override;

private:
    Ui::DAccount* ui;
    EditedRecord<MAccount> m_account;
};
