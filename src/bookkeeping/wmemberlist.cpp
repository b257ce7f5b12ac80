#include "bookkeeping/wmemberlist.h"

WMemberList::WMemberList(QWidget* parent) : WBaseWidget(parent) {}
