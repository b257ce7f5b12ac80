#include "analysis/wmemberanalysis.h"

WMemberAnalysis::WMemberAnalysis(QWidget* parent) : WBaseWidget(parent) {}
