#pragma once

#include "platform/replaceable.h"

#include <QByteArray>
#include <QString>

class QPrinter;
class QWidget;

// Where a report goes: the file and print dialogs the user answers, and the safe save of the file. Tests hand in
// an output of their own, since modal dialogs would block them.
class ReportOutput : public Replaceable<ReportOutput>
{
public:
    virtual ~ReportOutput() = default;

    // The chosen file name, as the dialog returns it; empty when the user cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter);
    // Lets the user set up the printer; false when cancelled.
    virtual bool setUpPrinter(QWidget* parent, QPrinter* printer);

    // Replaces the file in one step, so that it is always the old or the whole new file, readable by others but
    // writable by the owner only. False with the reason when it could not be written.
    static bool save(const QString& path, const QByteArray& content, QString* error);
};
