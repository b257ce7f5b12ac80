#pragma once

#include <QString>

// A mount for the life of the object, for faults only a real disk shows: a small tmpfs over a folder, to fill up
// as a full disk, or read-only, which refuses root's writes too, or a file bound over itself, which refuses to be
// renamed over. Only root may mount.
class TestMount
{
public:
    enum Kind
    {
        SmallDisk,
        ReadOnlyDisk,
        PinnedFile,
    };

    // The small disk holds `diskMb` megabytes.
    TestMount(Kind kind, const QString& path, int diskMb = 4);
    ~TestMount();
    bool isMounted() const { return m_mounted; }
    // Fills the small disk with the file "filler" until only about `free` bytes are left; clear() removes it.
    void fill(qint64 free = 0) const;
    void clear() const;

private:
    const QString m_path;
    bool m_mounted;
};
