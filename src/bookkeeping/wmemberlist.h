#pragma once

#include "shell/wbasewidget.h"

// The list of the household's members. For now an empty page.
class WMemberList : public WBaseWidget
{
    Q_OBJECT

public:
    explicit WMemberList(QWidget* parent = nullptr);
};
