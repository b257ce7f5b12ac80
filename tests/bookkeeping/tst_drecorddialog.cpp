#include "billtesting.h"
#include "bookkeeping/daccount.h"
#include "bookkeeping/dborrower.h"
#include "bookkeeping/dmember.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {
// Stored as typed only when it reaches the book as a bound value.
const QString hostileName = "O'Hara'); --";

template <typename Dialog, typename Record>
std::unique_ptr<QDialog> openDialog(void (Dialog::*set)(Record*), Record* (*byId)(const QString&), const QString& id)
{
    auto dialog = std::make_unique<Dialog>(nullptr);
    if (!id.isEmpty())
        (dialog.get()->*set)(byId(id));
    return dialog;
}

// The edit dialog of the table's records: for a new record, or for the one with `id`.
std::unique_ptr<QDialog> openDialog(const QString& table, const QString& id = QString())
{
    if (table == "tbl_account")
        return openDialog(&DAccount::setAccount, &MAccount::getAccountById, id);
    if (table == "tbl_borrower")
        return openDialog(&DBorrower::setBorrower, &MBorrower::getBorrowerById, id);
    return openDialog(&DMember::setMember, &MMember::getMemberById, id);
}

void seed(const QString& table, const QString& id, const QString& kind = "cash")
{
    if (table == "tbl_account")
        BookRows::exec("insert into tbl_account (id, name, kind, amount, description, sort) values (?, 'old', ?, 3, "
                       "'old text', 5)",
                       {id, kind});
    else
        BookRows::exec("insert into " + table + " (id, name, description, sort) values (?, 'old', 'old text', 5)",
                       {id});
}

QString row(const QString& table, const QString& id)
{
    return BookRows::value("select name || '|' || description || '|' || sort from " + table + " where id=?", {id})
        .toString();
}

} // namespace

class TestDRecordDialog : public RecordTest
{
    Q_OBJECT

private slots:
    void savesWhatWasTyped_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("modify");
        for (const QString table : {"tbl_account", "tbl_borrower", "tbl_member"}) {
            QTest::addRow("new %s", qPrintable(table)) << table << false;
            QTest::addRow("changed %s", qPrintable(table)) << table << true;
        }
    }
    void savesWhatWasTyped()
    {
        QFETCH(QString, table);
        QFETCH(bool, modify);
        seed(table, "other");
        if (modify)
            seed(table, "r1");
        MessageBoxRecorder boxes;
        auto dialog = openDialog(table, modify ? "r1" : "");
        typeAndSave(*dialog, hostileName, "it's new");
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        const QString id =
            modify ? "r1" : BookRows::value("select id from " + table + " where name=?", {hostileName}).toString();
        QCOMPARE(id.size(), modify ? 2 : 36);
        // A changed record keeps its place; a new one comes after the records there are.
        QCOMPARE(row(table, id), hostileName + "|it's new|" + (modify ? "5" : "2"));
    }

    // A kind this version does not list survives an edit unless the user picks another one.
    void accountKeepsAKindItDoesNotKnow_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("picked");
        QTest::newRow("new account is cash") << QString() << QString();
        QTest::newRow("known kind shown and kept") << "fund" << QString();
        QTest::newRow("unknown kind kept") << "bond" << QString();
        QTest::newRow("unknown kind replaced when picked") << "bond" << QString("stock");
    }
    void accountKeepsAKindItDoesNotKnow()
    {
        QFETCH(QString, stored);
        QFETCH(QString, picked);
        if (!stored.isEmpty())
            seed("tbl_account", "a1", stored);
        auto dialog = openDialog("tbl_account", stored.isEmpty() ? "" : "a1");
        auto* kinds = dialog->findChild<QComboBox*>("cbKind");
        const QString shown = stored.isEmpty() ? "cash" : stored;
        QCOMPARE(kinds->currentData().toString(), stored == "bond" ? QString() : shown);
        if (!picked.isEmpty())
            kinds->setCurrentIndex(kinds->findData(picked));
        dialog->findChild<QDoubleSpinBox*>("dsbAmount")->setValue(-12.5);
        typeAndSave(*dialog, "acc", "");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(BookRows::value("select kind || '|' || amount from tbl_account where name='acc'").toString(),
                 (picked.isEmpty() ? shown : picked) + "|-12.5");
    }

    void refusesAndStaysOpen_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString failed = "保存失败，数据没有写入账本，请重试。";
        const QStringList captions{"账户", "借款人", "成员"};
        const QStringList tables{"tbl_account", "tbl_borrower", "tbl_member"};
        for (int i = 0; i < tables.size(); ++i) {
            const QByteArray table = tables[i].toUtf8();
            QTest::addRow("%s: empty name", table.data()) << tables[i] << false << "" << captions[i] + "名称不能为空！";
            QTest::addRow("%s: insert refused", table.data()) << tables[i] << false << "n" << failed;
            QTest::addRow("%s: update refused", table.data()) << tables[i] << true << "n" << failed;
        }
    }
    void refusesAndStaysOpen()
    {
        QFETCH(QString, table);
        QFETCH(bool, modify);
        QFETCH(QString, name);
        QFETCH(QString, message);
        if (modify)
            seed(table, "r1");
        BookRows::refuseWrites(table);
        MessageBoxRecorder boxes;
        auto dialog = openDialog(table, modify ? "r1" : "");
        typeAndSave(*dialog, name, "typed");
        QCOMPARE(boxes.boxes(), (QVector<QPair<QString, QString>>{{"错误", message}}));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QLineEdit*>("leName")->text(), name);
        QCOMPARE(BookRows::value("select count(*) from " + table).toInt(), modify ? 1 : 0);
        if (modify) {
            QCOMPARE(row(table, "r1"), QString("old|old text|5"));
            // Nor does the record in memory take values the book did not store.
            const QString shown = table == "tbl_account"    ? MAccount::getAccountById("r1")->getName()
                                  : table == "tbl_borrower" ? MBorrower::getBorrowerById("r1")->getName()
                                                            : MMember::getMemberById("r1")->getName();
            QCOMPARE(shown, QString("old"));
        }
    }
};

QTEST_MAIN(TestDRecordDialog)
#include "tst_drecorddialog.moc"
