#pragma once

#include <QObject>
#include <QVariant>

// What the online features call to turn values into JSON text and answers back into lists and maps. Callers judge
// an answer by what it holds (an empty list, a key present), so a failed read simply gives an empty result.
class JSON : public QObject
{
    Q_OBJECT

public:
    static JSON* getInstance();

    // The written text, or an empty text when the value cannot be written.
    QString serialize(const QVariant& value) const;
    // The elements of a JSON array; anything else (a string included) gives an empty list.
    QVariantList toList(const QString& json) const;
    // The members of a JSON object; anything else gives an empty map.
    QVariantMap toMap(const QString& json) const;

private:
    JSON() = default;
};
