#pragma once

#include "bookkeeping/wrecordlist.h"

// The household members.
class WMemberList : public WRecordList
{
    Q_OBJECT

public:
    explicit WMemberList(QWidget* parent = nullptr);
};
