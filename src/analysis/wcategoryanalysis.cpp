#include "analysis/wcategoryanalysis.h"

WCategoryAnalysis::WCategoryAnalysis(QWidget* parent) : WBaseWidget(parent) {}
