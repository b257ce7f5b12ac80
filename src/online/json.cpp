#include "online/json.h"

#include "online/jsoncodec.h"

JSON* JSON::getInstance()
{
    static JSON* instance = new JSON;
    return instance;
}

QString JSON::serialize(const QVariant& value) const
{
    return JsonCodec::serializeStr(value);
}

QVariantList JSON::toList(const QString& json) const
{
    const QVariant value = JsonCodec::parse(json);
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QVariantMap JSON::toMap(const QString& json) const
{
    const QVariant value = JsonCodec::parse(json);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}
