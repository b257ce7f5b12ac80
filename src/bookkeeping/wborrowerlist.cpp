#include "bookkeeping/wborrowerlist.h"

WBorrowerList::WBorrowerList(QWidget* parent) : WBaseWidget(parent) {}
