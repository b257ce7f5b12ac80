#include "online/mversion.h"

MVersion::MVersion(QObject* parent) : QObject(parent) {}
