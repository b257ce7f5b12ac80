#include "online/usync.h"

USync::USync(QWidget* parent) : QWidget(parent) {}
