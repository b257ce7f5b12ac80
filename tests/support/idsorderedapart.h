#pragma once

#include <QByteArray>
#include <QList>

// Ids whose order by bytes and by a language's rules differ, as ids imported from another program may: upper and lower
// case first, where "a" goes before "B" by the language and after it by bytes, then punctuation, accents, digits and
// Chinese. A lookup of a few hundred of them finds, by bytes, a lowest and a highest between which a database that
// sorts by a language holds none of the others.
class IdsOrderedApart
{
public:
    // The `i`th id.
    static QByteArray at(int i);
    // The first `count` ids.
    static QList<QByteArray> first(int count);
};
