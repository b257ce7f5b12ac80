#include "testmount.h"

#include <QFile>
#include <sys/mount.h>

TestMount::TestMount(Kind kind, const QString& path, int diskMb) : m_path(path)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray size = "size=" + QByteArray::number(diskMb) + 'm';
    m_mounted = kind == PinnedFile
                    ? ::mount(target, target, nullptr, MS_BIND, nullptr) == 0
                    : ::mount("tmpfs", target, "tmpfs", kind == ReadOnlyDisk ? MS_RDONLY : 0, size.constData()) == 0;
}

TestMount::~TestMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path), MNT_DETACH);
}

void TestMount::fill(qint64 free) const
{
    QFile filler(m_path + "/filler");
    filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    while (filler.write(QByteArray(1 << 16, '\0')) == 1 << 16) {
    }
    filler.resize(qMax<qint64>(0, filler.size() - free));
}

void TestMount::clear() const
{
    QFile::remove(m_path + "/filler");
}
