#pragma once

#include "platform/replaceable.h"

#include <QString>

class QWidget;

// The file and folder dialogs the user answers; tests hand in a prompt of their own, since the modal dialogs
// would block them. Each returns the empty text when the user cancelled. Every dialog starts in the folder of the
// last answer, at first in the user's documents folder, never in the folder the program was started from.
class FilePrompt : public Replaceable<FilePrompt>
{
public:
    virtual ~FilePrompt() = default;

    // Asks before it names a file that exists already; a name without an extension gets the filter's first one.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter);
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& filter);
    virtual QString directory(QWidget* parent, const QString& caption);

private:
    QString startFolder() const;
    // Keeps the folder of a file answered, or the folder answered, for the next dialog; returns the answer.
    QString remembered(const QString& answer, bool isFolder);

    QString m_lastFolder;
};
