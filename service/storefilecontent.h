#pragma once

#include <QString>

// What an SQLite file holds, looked at before the service takes the file as its store: opening it for writing makes
// the file its owner's alone and adds the service's tables to whatever else it holds, so that a mistyped path would
// write into another program's data. The look goes through SQLite read-only and makes nothing beside the file.
class StoreFileContent
{
public:
    // Why the file, an SQLite file by its first bytes, cannot be the service's store: SQLite cannot read it, or it
    // holds tables that no version of the service made, or views; nothing for a store the service made, of this
    // version or an earlier one, whatever indexes and triggers its tables were given, or for a database that holds
    // nothing.
    static QString obstacle(const QString& path);
};
