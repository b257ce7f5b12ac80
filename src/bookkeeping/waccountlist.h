#pragma once

#include "bookkeeping/wrecordlist.h"

// The accounts with their opening amounts and balances, and a total row.
class WAccountList : public WRecordList
{
    Q_OBJECT

public:
    explicit WAccountList(QWidget* parent = nullptr);
};
