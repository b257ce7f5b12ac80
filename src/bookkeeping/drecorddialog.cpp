#include "bookkeeping/drecorddialog.h"

#include "widgets/dmessagebox.h"
#include "widgets/udialogtitle.h"

#include <QLineEdit>

DRecordDialog::DRecordDialog(QWidget* parent) : DBaseDialog(parent) {}

void DRecordDialog::setUp(UDialogTitle* title, const QString& caption, QLineEdit* name, QLineEdit* description,
                          const QString& emptyNameText)
{
    title->setTitle(caption);
    m_name = name;
    m_description = description;
    m_emptyNameText = emptyNameText;
}

QString DRecordDialog::name() const
{
    return m_name->text();
}

QString DRecordDialog::description() const
{
    return m_description->text();
}

void DRecordDialog::showNameAndDescription(const QString& name, const QString& description)
{
    m_name->setText(name);
    m_description->setText(description);
}

QString DRecordDialog::refusal() const
{
    return QString();
}

void DRecordDialog::on_pbOK_clicked()
{
    // A name of blanks is a name: only the empty text is refused.
    const QString refused = name().isEmpty() ? m_emptyNameText : refusal();
    if (!refused.isEmpty()) {
        DMessageBox::error(this, refused);
        return;
    }
    if (!store()) {
        DMessageBox::error(this, tr("保存失败，数据没有写入账本，请重试。"));
        return;
    }
    accept();
}

void DRecordDialog::on_pbCancel_clicked()
{
    reject();
}
