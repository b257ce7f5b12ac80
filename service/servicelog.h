#pragma once

#include <QLoggingCategory>

// The service's log for its operator. Warnings (the store lost and back, descriptors exhausted, a limit that turned
// a client away, with the client's address) reach standard error by default; QT_LOGGING_RULES shows more
// ("quillbay.service.debug=true") or silences them. No line carries a password, an account name or synced data.
Q_DECLARE_LOGGING_CATEGORY(lcService)
// Requests as they take their turns, at a worker or, large ones, to be read, and as their clients hang up: off by
// default, shown with "quillbay.service.turns.debug=true", so that a test can wait for the state it needs.
Q_DECLARE_LOGGING_CATEGORY(lcTurns)
