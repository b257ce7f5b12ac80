#pragma once

#include <QString>

// The bench's relay in front of a PostgreSQL store's server for a trial's script (StoreRelay), driven from standard
// input: it writes the store's address through the relay on standard output, then at each line "stall" stalls the
// connections open at that moment, and at "stall-at TEXT" the first connection whose bytes toward the server hold the
// text, at the text. It ends with its input.
class RelayConsole
{
public:
    static int run(const QString& storeAddress);
};
