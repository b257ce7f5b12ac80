#pragma once

#include "data/mborrower.h"
#include "data/mrecordtablemodel.h"

// The borrowers as they were cached when the model was built, with their totals.
class MBorrowerModel : public MRecordTableModel
{
    Q_OBJECT

public:
    explicit MBorrowerModel(QObject* parent = nullptr);

    MBorrower* getBorrower(int row) const;

    // These change the book and, when it was written, the model; each returns whether the book was written.
    bool addBorrower(MBorrower* borrower);
    // Removes the row that holds this very record; false when the model shows no such record.
    bool removeBorrower(MBorrower* borrower);
    // Shows the record in the row of the record with its id; the caller writes it to the book.
    void updateBorrower(MBorrower* borrower);

protected:
    int recordCount() const override;
    const void* recordAt(int row) const override;
    QString text(int row, int column) const override;

private:
    QList<MBorrower*> m_borrowers;
};
