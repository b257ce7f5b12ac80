#pragma once

#include <QString>

// Runs one sync of the open book until it ends.
class SyncRun
{
public:
    // "finished", the error's code and message joined by "|", "refused" when a sync was running already,
    // "no end" after the time-out, or "more than one end".
    static QString toEnd(int timeoutMs = 20000);
};
