#pragma once

#include <QString>

// Folders that only the service's user may enter, whatever the umask.
class OwnerFolder
{
public:
    // Makes the folders of the path that are missing, each for its owner alone; false when one cannot be made. A
    // folder that exists keeps its mode: it may be the operator's, shared with other programs.
    static bool make(const QString& path);
    // Makes the folder as make() does and leaves it for its owner alone whatever mode it had: for a folder of the
    // service's own, whose file names tell who is waiting for what.
    static bool makeOwn(const QString& path);
    // What stands in the way of making the folder, or of writing in it, as far as can be told without leaving
    // anything made: an empty path (which would be the current folder), a file where a folder is wanted, a folder
    // the process may not write in or whose file system takes no files (/proc); nothing when none does.
    static QString obstacle(const QString& path);
};
