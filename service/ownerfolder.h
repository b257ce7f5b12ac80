#pragma once

#include <QString>

// Folders that only the service's user may enter, whatever the umask.
class OwnerFolder
{
public:
    // Makes the folders of the path that are missing, each for its owner alone; false when one cannot be made.
    static bool make(const QString& path);
};
