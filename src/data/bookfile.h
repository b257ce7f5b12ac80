#pragma once

#include <QFileDevice>
#include <QString>

// Book files on disk: new ones are copies of the initial book kept in the resources. Books and their backups
// hold a household's money records, so only their owner may read or write them, whatever the umask and whatever
// the mode of the file they were copied from (the resources' copy is read-only).
class BookFile
{
public:
    static constexpr QFileDevice::Permissions ownerOnly{QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                        QFileDevice::ReadUser | QFileDevice::WriteUser};

    static const char* initialBook();
    // Writes a copy of the initial book to the path, which must not exist yet; false when it could not be
    // written whole, and nothing is left at the path then.
    static bool createFromInitial(const QString& path);
    static bool makeOwnerOnly(const QString& path);
};
