#pragma once

#include "shell/wbasewidget.h"

// The list of the book's expense and income categories. For now an empty page.
class WCategoryList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WCategoryList(QWidget* parent = nullptr);
};
