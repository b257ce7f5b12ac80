#include "bookkeeping/wbilllist.h"

WBillList::WBillList(QWidget* parent) : WBaseWidget(parent) {}
