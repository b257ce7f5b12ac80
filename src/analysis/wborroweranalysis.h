#pragma once

#include "shell/wbasewidget.h"

// The analysis of loans by borrower. For now an empty page.
class WBorrowerAnalysis : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WBorrowerAnalysis(QWidget* parent = nullptr);
};
