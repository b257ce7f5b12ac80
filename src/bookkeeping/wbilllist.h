#pragma once

#include "shell/wbasewidget.h"

// The list of the book's bills. For now an empty page.
class WBillList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WBillList(QWidget* parent = nullptr);
};
