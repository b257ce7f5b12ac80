#include "bulkbench.h"

#include "benchtiming.h"
#include "bookkeeping/dquickchange.h"
#include "data/mbill.h"
#include "data/mmember.h"
#include "messageboxrecorder.h"

#include <QComboBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>

BulkBench::BulkBench(int bills, int repeats) : m_bills(bills), m_repeats(repeats) {}

void BulkBench::run()
{
    const MBillList bills = *MBill::get(" 1=1 ");
    const QList<MMember*> members = *MMember::getMemberList();
    if (bills.size() != m_bills || members.size() < 2)
        qFatal("the bulk change needs %d bills and two members", m_bills);
    benchOut() << QString("\nbulk change of %1 bills, median of %2 runs\n").arg(m_bills).arg(m_repeats);

    // Each run moves the bills to the other member, so that every row really changes.
    int run = 0;
    const MessageBoxRecorder failures;
    const double ours = medianMs(m_repeats, [&] {
        DQuickChange dialog("member", bills);
        auto* combo = dialog.findChild<QComboBox*>("comboBox");
        combo->setCurrentIndex(combo->findData(members.at(++run % 2)->getId()));
        dialog.findChild<QPushButton*>("pbOK")->click();
        if (dialog.result() != QDialog::Accepted)
            qFatal("the bulk change failed");
    });
    const double bare = medianMs(m_repeats, [&] {
        QSqlDatabase::database().transaction();
        QSqlQuery query;
        query.prepare("update tbl_bill set member_id=? where id=?");
        const QString member = members.at(++run % 2)->getId();
        for (const MBillPtr& bill : bills) {
            query.addBindValue(member);
            query.addBindValue(bill->getId());
            query.exec();
        }
        QSqlDatabase::database().commit();
    });
    reportTiming(QString("bulk change dialog, %1 bills").arg(m_bills), ours, bare);
    if (!failures.boxes().isEmpty())
        qFatal("the bulk change showed a message");
}
