#pragma once

#include "shell/wbasewidget.h"

// The list of the book's borrowers. For now an empty page.
class WBorrowerList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WBorrowerList(QWidget* parent = nullptr);
};
