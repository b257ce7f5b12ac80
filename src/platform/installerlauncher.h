#pragma once

#include "platform/replaceable.h"

#include <QString>

// Hands the program over to a downloaded installer: starts it silently into a folder and ends the program. The codes
// are those of the Windows shell: above 32 the installer started, 5 the system refused it without elevation. Elsewhere
// the file itself is started, detached and never elevated. Tests hand in a launcher of their own so that nothing is
// started.
class InstallerLauncher : public Replaceable<InstallerLauncher>
{
public:
    virtual ~InstallerLauncher() = default;

    // `verb` is "open" or "runas"; the installer gets "/S" and "/D=" followed by the folder.
    virtual int shellExecute(const QString& verb, const QString& file, const QString& folder);
    // The plain start without the shell, for when the shell failed; false when it could not be started either.
    virtual bool startDetached(const QString& file, const QString& folder);
    // Ends this program so that the installer can replace it.
    virtual void endProgram();
};
