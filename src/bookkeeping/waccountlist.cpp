#include "bookkeeping/waccountlist.h"

WAccountList::WAccountList(QWidget* parent) : WBaseWidget(parent) {}
