#pragma once

#include "shell/wbasewidget.h"

// The income and expense statistics. For now an empty page.
class WBillStat : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WBillStat(QWidget* parent = nullptr);
};
