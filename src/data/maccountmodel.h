#pragma once

#include "data/maccount.h"
#include "data/mrecordtablemodel.h"

// The accounts as they were cached when the model was built, followed by a total row of their opening
// amounts and balances.
class MAccountModel : public MRecordTableModel
{
    Q_OBJECT

public:
    explicit MAccountModel(QObject* parent = nullptr);

    // Null for the total row.
    MAccount* getAccount(int row) const;

protected:
    int recordCount() const override;
    const void* recordAt(int row) const override;
    QString text(int row, int column) const override;

private:
    QList<MAccount*> m_accounts;
    MAccount m_total;
};
