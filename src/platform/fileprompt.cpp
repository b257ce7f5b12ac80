#include "platform/fileprompt.h"

#include <QFileDialog>

QString FilePrompt::saveFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

QString FilePrompt::openFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString FilePrompt::directory(QWidget* parent, const QString& caption)
{
    return QFileDialog::getExistingDirectory(parent, caption, QString(), QFileDialog::ShowDirsOnly);
}
