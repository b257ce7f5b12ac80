#include "analysis/wbillstat.h"

WBillStat::WBillStat(QWidget* parent) : WBaseWidget(parent) {}
