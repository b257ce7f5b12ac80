#include "servicelog.h"

Q_LOGGING_CATEGORY(lcService, "quillbay.service", QtWarningMsg)
