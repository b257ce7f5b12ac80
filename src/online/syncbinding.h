#pragma once

#include <QDateTime>
#include <QString>

// Binds a book to an online account the first time it syncs: the default records of every new book carry
// two-character ids, and the account's prefix in front of them (and of every reference to them) makes them
// the same records on every device of the account.
class SyncBinding
{
public:
    // The user id without its last two characters.
    static QString prefixOf(const QString& userId);

    // Prefixes the ids and references and stores the user id, all in one transaction. Bills whose references
    // change are stamped just before the start of the sync that binds, so that this sync sends them and the next
    // one does not. On failure nothing is changed, in the book or in the settings held in memory, so the next sync
    // binds again.
    static bool bind(const QString& userId, const QDateTime& syncStart);

private:
    static bool prefixAll(const QString& prefix, const QDateTime& syncStart);
};
