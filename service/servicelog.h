#pragma once

#include <QLoggingCategory>

// The service's log for its operator, on standard error. At the info level, shown by default, the start with the
// limits in force, the accounts created and the stop; as warnings, what needs the operator (the store lost and back,
// descriptors exhausted, a limit that turned a client away, with the client's address, a sign-up refused as made on
// another site). QT_LOGGING_RULES chooses: "quillbay.service.info=false" keeps the warnings alone,
// "quillbay.service.warning=false" silences them. No line carries a password, an account name or synced data.
Q_DECLARE_LOGGING_CATEGORY(lcService)
// Requests as they take their turns, at a worker or, large ones, to be read, and as their clients hang up: off by
// default, shown with "quillbay.service.turns.debug=true", so that a test can wait for the state it needs.
Q_DECLARE_LOGGING_CATEGORY(lcTurns)
