#include "bookkeeping/recordcombo.h"

bool RecordCombo::select(QComboBox* combo, const QString& id)
{
    const int index = combo->findData(id, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

QString RecordCombo::currentId(const QComboBox* combo)
{
    return combo->currentData().toString();
}
