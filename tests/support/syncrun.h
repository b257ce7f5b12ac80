#pragma once

#include <QString>

// Runs one sync of the open book until it ends.
class SyncRun
{
public:
    // "finished", the error's code and message joined by "|", "refused" when a sync was running already,
    // "no end" after the time-out, or "more than one end".
    static QString toEnd(int timeoutMs = 20000);
    // Waits for the clock's next second, so that edits that must be ordered get different stamps, whose resolution
    // is one second; false when the clock stood still.
    static bool nextSecond();
};
