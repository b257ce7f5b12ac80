#pragma once

#include <QtGlobal>

class ChangeSet;
struct StoredRecord;

// What a sync has the store do, counted as its merge works it out: the records of its upload, and those its answer
// sends besides, with the bytes of every record it reads from the store (among which those it answers with) and
// writes, as the record goes on the wire: its id, its stamp and its values (StoredRecord::wireSize()), or for a
// record answered what its row takes in the answer where that is more (a device may name many columns a record
// lacks, each an empty text, or ask for few of the columns it holds). A sync in the
// cheap line is bounded: its merge stops reading once the count passes the bound and hands the sync, with nothing
// written, to the expensive line, which counts without a bound. What is left of the bound once the upload is
// counted bounds the store's reading of the records changed since the device's last sync
// (ServiceStore::changedRecords), which counts every record it reads, those the upload sent too: a few more, never
// fewer. What is left after that bounds the lookups of the ids the upload sent (ServiceStore::records). Either
// reading finds from the sizes the store keeps whether it would pass what it was given, before it reads the values.
class SyncCost
{
public:
    // The most records a sync in the cheap line moves: two pages of an answer, some 15 ms of the store's work where a
    // first sync of 69,000 records takes half a second, and many times what a device that syncs daily moves.
    static const qint64 cheapRecords;
    // The most bytes it moves: the record bound's worth of bills as the program writes them (some 370 bytes of values
    // each as the store keeps them, and 59 of id and stamp, so 2,000 take about 860 KB) with room for longer texts,
    // where a household's day of bills takes a few kilobytes; a single record of 1 MB or more is thus never cheap.
    static const qint64 cheapBytes;

    explicit SyncCost(bool bounded) : m_bounded(bounded) {}

    // Each of these counts what the merge takes on, and says whether the sync is still within its bound.
    bool addUpload(const ChangeSet& upload);
    // A record that the merge reads from the store or writes: its bytes alone, as the upload counted the records.
    bool addBytes(const StoredRecord& record);
    // A record read and answered: what its row in the answer takes beyond what its reading counted, the columns the
    // device names and the record lacks among them.
    bool addAnswered(const StoredRecord& record, qint64 answerBytes);
    // The reading of the records changed since the device's last sync stopped at what was left: the sync is past
    // its bound.
    void markPassed();
    // What the merge may still take on within the bound, records and bytes.
    qint64 recordsLeft() const { return cheapRecords - m_records; }
    qint64 bytesLeft() const { return cheapBytes - m_bytes; }
    bool bounded() const { return m_bounded; }

    // Whether the count has passed the bound; never without one.
    bool passed() const { return m_bounded && (m_records > cheapRecords || m_bytes > cheapBytes); }

private:
    bool m_bounded;
    qint64 m_records = 0;
    qint64 m_bytes = 0;
};
