#pragma once

#include "platform/replaceable.h"

#include <QProcessEnvironment>
#include <QStringList>

// Starts a new, independent copy of this program. Switching books, restoring and importing all end up here,
// since one process serves one book; tests hand in a launcher of their own.
class ProgramLauncher : public Replaceable<ProgramLauncher>
{
public:
    virtual ~ProgramLauncher() = default;

    // Starts the program's own executable, detached, with the arguments and the environment; false when it could
    // not be started. The new copy holds none of this copy's files and connections.
    virtual bool startCopy(const QStringList& arguments, const QProcessEnvironment& environment);
};
