#pragma once

#include <QtGlobal>

#include <algorithm>
#include <chrono>

// The paces the service holds a client to, sending or taking, the times they give a transfer, and the sizes that
// divide and bound what is read. Every rule that judges a client's pace, sets a transfer's time or tells a small body
// from a large one takes its figure from here.
class TransferRules
{
public:
    // The slowest pace a real client keeps, the slowest served when others wait: a request read slower than this gives
    // way to a claim for its memory or to one waiting for its turn, and an answer gets the time its length takes at
    // it. A body at 100 KB/s keeps its place.
    static constexpr qint64 realPace = 64 * 1024;
    // A client that sends slower than this over an idle time is closed for good, whoever waits: a dial-up line sends
    // twice as much, so no real client is that slow, while a trickle would hold its connection for nothing.
    static constexpr qint64 floorPace = 2 * 1024;
    // What a transfer gets beyond the time its length takes, however short it is.
    static constexpr std::chrono::seconds leeway{30};
    // The line between small bodies and large ones: a sync's upload up to it is merged in about a page's work, so it is
    // cheap, and bodies up to it are read in the memory kept for small requests (MemoryBudget).
    static constexpr qint64 smallBody = 256 * 1024;
    // The line between bodies read into memory as they come, within the memory for requests (MemoryBudget), and large
    // ones, which are read and worked on a few at a time once they have their turn (RequestTurns).
    static constexpr qint64 largeBody = 1024 * 1024;
    // More than the largest body any path takes, with its head: the most of a request ever read and dropped.
    static constexpr qint64 maxDropped = 80 * 1024 * 1024;

    // A body's time: its length at the floor pace, and the leeway more, so that a slow honest uplink (a 3 MB sync at
    // 20 KB/s) finishes.
    static std::chrono::seconds bodyTime(qint64 bytes) { return leeway + std::chrono::seconds(bytes / floorPace); }
    // An answer's time, and the rest of a body refused unread: its length at the real pace, the leeway at least.
    static std::chrono::seconds answerTime(qint64 bytes)
    {
        return std::max(leeway, std::chrono::seconds(bytes / realPace));
    }
};
