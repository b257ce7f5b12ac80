#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The fields of a form-encoded request body: %XX in either case is decoded as UTF-8, and a raw "+" is a blank as
// browsers send it (the program itself always sends "%2b").
class FormData
{
public:
    explicit FormData(const QByteArray& body);

    bool contains(const QString& name) const { return m_fields.contains(name); }
    QString value(const QString& name) const { return m_fields.value(name); }

private:
    QHash<QString, QString> m_fields;
};
