#include "settings/usetting.h"

USetting::USetting(QWidget* parent) : QWidget(parent) {}
