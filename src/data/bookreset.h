#pragma once

// Empties the open book and gives it the default records of a new book again.
class BookReset
{
public:
    // Runs in one transaction on the default connection: the book ends with exactly the default records, empty
    // deletion twins and no last sync, or, when any step fails, as it was. Drops the record caches either way,
    // so that the pages show what the book now holds.
    static bool run();

private:
    static bool emptyTables();
    static void dropCaches();
};
