#include "analysis/waccountanalysis.h"

WAccountAnalysis::WAccountAnalysis(QWidget* parent) : WBaseWidget(parent) {}
