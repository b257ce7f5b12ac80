#include "analysis/reportoutput.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

bool ReportOutput::setUpPrinter(QWidget* parent, QPrinter* printer)
{
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ReportOutput::save(const QString& path, const QByteArray& content, QString* error)
{
    QSaveFile file(path);
    // A new file has the mode the umask gives, a replaced one keeps its own; nobody but the owner may write it.
    // QSaveFile::commit() renames the new file into place even when its last write failed: flush() tells.
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.setPermissions(file.permissions() & ~(QFileDevice::WriteGroup | QFileDevice::WriteOther)) &&
                       file.write(content) == content.size() && file.flush() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}
