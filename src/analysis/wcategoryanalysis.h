#pragma once

#include "shell/wbasewidget.h"

// The analysis of bills by category. For now an empty page.
class WCategoryAnalysis : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WCategoryAnalysis(QWidget* parent = nullptr);
};
