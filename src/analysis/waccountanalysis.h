#pragma once

#include "shell/wbasewidget.h"

// The analysis of bills by account. For now an empty page.
class WAccountAnalysis : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WAccountAnalysis(QWidget* parent = nullptr);
};
