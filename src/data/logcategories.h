#pragma once

#include <QLoggingCategory>

// The program's diagnostics, one category per subsystem. All of them are off by default, so that a user who
// starts the program from a terminal sees nothing; QT_LOGGING_RULES="quillbay.*=true" turns them on. No message
// carries a password, an account name or what the book holds (names, amounts, descriptions, whole requests or
// answers): counts, sizes, statement names and error texts only.
Q_DECLARE_LOGGING_CATEGORY(lcData)
Q_DECLARE_LOGGING_CATEGORY(lcShell)
Q_DECLARE_LOGGING_CATEGORY(lcBookkeeping)
Q_DECLARE_LOGGING_CATEGORY(lcSync)
Q_DECLARE_LOGGING_CATEGORY(lcOnline)
Q_DECLARE_LOGGING_CATEGORY(lcAnalysis)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
