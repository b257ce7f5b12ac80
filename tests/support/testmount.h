#pragma once

#include <QString>

// A mount for the life of the object, for the faults only a real disk shows: a small tmpfs over a folder, to be
// filled as a full disk, or a file bound over itself, which refuses to be renamed over. Only root may mount; a
// test without the mount skips.
class TestMount
{
public:
    enum Kind
    {
        SmallDisk,
        PinnedFile,
    };

    TestMount(Kind kind, const QString& path);
    ~TestMount();
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    bool isMounted() const;
    // Fills the small disk with a file "filler" until only about `free` bytes are left; clear() removes it.
    void fill(qint64 free = 0) const;
    void clear() const;

private:
    QString m_path;
    bool m_mounted;
};
