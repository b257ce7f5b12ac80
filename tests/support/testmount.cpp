#include "testmount.h"

#include <QFile>
#include <sys/mount.h>

TestMount::TestMount(Kind kind, const QString& path) : m_path(path)
{
    const QByteArray target = QFile::encodeName(path);
    m_mounted = kind == SmallDisk ? ::mount("tmpfs", target, "tmpfs", 0, "size=4m,mode=0700") == 0
                                  : ::mount(target, target, nullptr, MS_BIND, nullptr) == 0;
}

TestMount::~TestMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path), MNT_DETACH);
}

bool TestMount::isMounted() const
{
    return m_mounted;
}

void TestMount::fill(qint64 free) const
{
    QFile filler(m_path + "/filler");
    filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    const QByteArray block(64 * 1024, '\0');
    while (filler.write(block) == block.size()) {
    }
    filler.resize(qMax<qint64>(0, filler.size() - free));
}

void TestMount::clear() const
{
    QFile::remove(m_path + "/filler");
}
