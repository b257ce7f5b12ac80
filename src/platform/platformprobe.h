#pragma once

#include <QChar>
#include <QString>

// The facts of the running system that decide where the books live. The program asks the real system;
// tests hand in a probe of their own to play another machine.
class PlatformProbe
{
public:
    virtual ~PlatformProbe() = default;

    // The value of PROGRAMFILES; empty when it is not set.
    virtual QString programsFolder() const;
    // Windows Vista or later; every system that is not Windows counts as such.
    virtual bool isVistaOrLater() const;
    virtual QString documentsLocation() const;
    virtual QString dataLocation() const;
    // The executable's folder with "/" separators.
    virtual QString applicationDirPath() const;
    virtual QChar separator() const;
};
