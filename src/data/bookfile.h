#pragma once

#include <QString>

// Book files on disk: new ones are copies of the initial book kept in the resources.
class BookFile
{
public:
    static const char* initialBook();
    // Copies the initial book to the path, which must not exist yet; false when the copy failed.
    static bool createFromInitial(const QString& path);
    // A copy out of the read-only resources (or of a read-only backup) cannot be written to: this adds the
    // owner's read and write, and nothing for anybody else.
    static bool makeOwnerWritable(const QString& path);
};
