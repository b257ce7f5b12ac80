#pragma once

#include <QLoggingCategory>

// The service's diagnostics, off by default (QT_LOGGING_RULES="quillbay.service.debug=true" shows them all). They
// carry counts, error codes and the store's first error line, never a password, an account name or synced data.
Q_DECLARE_LOGGING_CATEGORY(lcService)
