#include "bookkeeping/wcategorylist.h"

WCategoryList::WCategoryList(QWidget* parent) : WBaseWidget(parent) {}
