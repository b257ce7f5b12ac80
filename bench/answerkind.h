#pragma once

#include <QByteArray>
#include <QString>

// What an error answer of the service says, as the bench tells it: the code the program reads is shared by several
// messages (3: the service is busy, the store did not keep the sync, the service's work failed), and a row counts
// them apart.
class AnswerKind
{
public:
    // "busy" or "store failed" for those error answers, "error N" for any other; empty for a body without an error.
    static QString ofError(const QByteArray& body);
};
