#include "servicelog.h"

// Info and above by default: a normal start and stop are told without a warning, and silencing the warnings keeps
// them.
Q_LOGGING_CATEGORY(lcService, "quillbay.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTurns, "quillbay.service.turns", QtWarningMsg)
