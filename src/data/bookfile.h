#pragma once

#include <QFileDevice>
#include <QString>

// Book files on disk: new ones are copies of the initial book kept in the resources.
class BookFile
{
public:
    static const char* initialBook();
    // Copies the initial book to the path, which must not exist yet; false when the copy failed.
    static bool createFromInitial(const QString& path);
    // A copy out of the read-only resources (or of a read-only backup) cannot be written to, and a copy of a
    // file anybody may write would let anybody change the book: this gives the owner read and write, takes
    // write away from everybody else, and execute from all.
    static bool makeOwnerWritable(const QString& path);
    static QFileDevice::Permissions ownerWritable(QFileDevice::Permissions permissions);
};
