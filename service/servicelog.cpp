#include "servicelog.h"

Q_LOGGING_CATEGORY(lcService, "quillbay.service", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTurns, "quillbay.service.turns", QtWarningMsg)
