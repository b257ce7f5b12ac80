#include "data/logcategories.h"

// Critical as the lowest level shown: debug, info and warning messages stay quiet unless the rules ask for them.
Q_LOGGING_CATEGORY(lcData, "quillbay.data", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcShell, "quillbay.shell", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcBookkeeping, "quillbay.bookkeeping", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcSync, "quillbay.sync", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcOnline, "quillbay.online", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcAnalysis, "quillbay.analysis", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcSettings, "quillbay.settings", QtCriticalMsg)
