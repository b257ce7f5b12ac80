#pragma once

#include "shell/wbasewidget.h"

// The list of the book's accounts. For now an empty page.
class WAccountList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WAccountList(QWidget* parent = nullptr);
};
