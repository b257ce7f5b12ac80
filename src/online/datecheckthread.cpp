#include "online/datecheckthread.h"

DateCheckThread::DateCheckThread(QObject* parent) : QThread(parent) {}

void DateCheckThread::run() {}
