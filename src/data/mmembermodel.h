#pragma once

#include "data/mmember.h"
#include "data/mrecordtablemodel.h"

// The members as they were cached when the model was built.
class MMemberModel : public MRecordTableModel
{
    Q_OBJECT

public:
    explicit MMemberModel(QObject* parent = nullptr);

    MMember* getMember(int row) const;

protected:
    int recordCount() const override;
    const void* recordAt(int row) const override;
    QString text(int row, int column) const override;

private:
    QList<MMember*> m_members;
};
