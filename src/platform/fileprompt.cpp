#include "platform/fileprompt.h"

#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {
// "db" of "数据文件 (*.db)"; empty for a filter without an extension.
QString suffixOf(const QString& filter)
{
    static const QRegularExpression pattern("\\(\\*\\.([^\\s;*)]+)");
    return pattern.match(filter).captured(1);
}
} // namespace

QString FilePrompt::saveFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    QFileDialog dialog(parent, caption, startFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the filter's, as every platform's own save dialog does: a backup
    // named "mybackup" must become a file that the restore dialog, which lists "*.db", shows again.
    dialog.setDefaultSuffix(suffixOf(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return remembered(dialog.selectedFiles().constFirst(), false);
}

QString FilePrompt::openFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    return remembered(QFileDialog::getOpenFileName(parent, caption, startFolder(), filter), false);
}

QString FilePrompt::directory(QWidget* parent, const QString& caption)
{
    return remembered(QFileDialog::getExistingDirectory(parent, caption, startFolder(), QFileDialog::ShowDirsOnly),
                      true);
}

QString FilePrompt::startFolder() const
{
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString FilePrompt::remembered(const QString& answer, bool isFolder)
{
    if (!answer.isEmpty())
        m_lastFolder = isFolder ? answer : QFileInfo(answer).absolutePath();
    return answer;
}
