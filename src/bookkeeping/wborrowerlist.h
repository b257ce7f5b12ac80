#pragma once

#include "bookkeeping/wrecordlist.h"

// The borrowers with what each owes or is owed.
class WBorrowerList : public WRecordList
{
    Q_OBJECT

public:
    explicit WBorrowerList(QWidget* parent = nullptr);
};
