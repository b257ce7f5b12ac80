#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <utility>

// The fields of a form-encoded request body: %XX in either case is decoded, and a raw "+" is a blank as browsers send
// it (the program itself always sends "%2b"). The body is decoded where it lies, so that a form takes no more room
// than its body: a large field is read from it as it stands. Reading costs one pass over the body whatever it holds,
// and only its first fields are read: no form of the service has more than a few.
class FormData
{
public:
    // `maxFields`: how many fields are read; the rest of the body is ignored. Empty ones ("&&") are not counted.
    FormData(QByteArray body, int maxFields);

    bool contains(const QString& name) const { return m_fields.contains(name); }
    // The field as text, a byte sequence that is no UTF-8 read as U+FFFD; null when the form lacks it.
    QString value(const QString& name) const;
    // The field's decoded bytes, valid as long as the form; empty when the form lacks it.
    QByteArrayView bytes(const QString& name) const;

private:
    // Decodes the bytes from `from` up to `to` to where `written` points, and moves it past them.
    QByteArrayView decode(qsizetype from, qsizetype to, qsizetype& written);

    QByteArray m_text;
    // Where each field's value lies in the decoded text.
    QHash<QString, std::pair<qsizetype, qsizetype>> m_fields;
};
