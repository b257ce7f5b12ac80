#include "analysis/wborroweranalysis.h"

WBorrowerAnalysis::WBorrowerAnalysis(QWidget* parent) : WBaseWidget(parent) {}
