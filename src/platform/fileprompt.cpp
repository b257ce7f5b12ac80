#include "platform/fileprompt.h"

#include <QFileDialog>
#include <QRegularExpression>

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
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the filter's, as every platform's own save dialog does: a backup
    // named "mybackup" must become a file that the restore dialog, which lists "*.db", shows again.
    dialog.setDefaultSuffix(suffixOf(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString FilePrompt::openFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString FilePrompt::directory(QWidget* parent, const QString& caption)
{
    return QFileDialog::getExistingDirectory(parent, caption, QString(), QFileDialog::ShowDirsOnly);
}
