#pragma once

#include "platform/replaceable.h"

#include <QByteArray>
#include <QString>

class QPrinter;
class QWidget;

// Where a report goes: the print dialog the user answers, and the safe save of a file the user chose. Tests hand
// in an output of their own, since a modal dialog would block them.
class ReportOutput : public Replaceable<ReportOutput>
{
public:
    virtual ~ReportOutput() = default;

    // Lets the user set up the printer; false when cancelled.
    virtual bool setUpPrinter(QWidget* parent, QPrinter* printer);

    // Replaces the file in one step, so that it is always the old or the whole new file, writable by the owner
    // only. False with the reason when it could not be written.
    static bool save(const QString& path, const QByteArray& content, QString* error);
};
