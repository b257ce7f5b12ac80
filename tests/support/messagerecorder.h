#pragma once

#include <QStringList>
#include <QtGlobal>

// Keeps, while it lives, every message that Qt would print on the terminal, as "category: text" lines, from
// whichever thread, and prints none of them.
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();

    QStringList lines() const;
    // The lines of one category only.
    QStringList lines(const QString& category) const;

private:
    QtMessageHandler m_previous;
};
