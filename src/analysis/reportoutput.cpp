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
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                           QFileDevice::ReadOther) &&
                       file.write(content) == content.size() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}
