#include "idsorderedapart.h"

#include <QByteArrayList>

QByteArray IdsOrderedApart::at(int i)
{
    static const QByteArrayList middles{"", "-", "_", "é", "e", "中", "文", "Z", "z", "9"};
    return QByteArray(i % 2 ? "a" : "B") + middles.at(i / 2 % middles.size()) +
           QByteArray::number(i).rightJustified(4, '0');
}

QList<QByteArray> IdsOrderedApart::first(int count)
{
    QList<QByteArray> ids;
    for (int i = 0; i < count; ++i)
        ids << at(i);
    return ids;
}
