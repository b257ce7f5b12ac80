#include "settings/udata.h"

UData::UData(QWidget* parent) : QWidget(parent) {}
