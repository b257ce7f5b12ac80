#pragma once

#include "shell/wbasewidget.h"

// The analysis of bills by member. For now an empty page.
class WMemberAnalysis : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WMemberAnalysis(QWidget* parent = nullptr);
};
