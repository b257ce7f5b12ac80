#include "shelltesting.h"

#include "messageboxrecorder.h"
#include "shell/dlogin.h"
#include "testbook.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

namespace {
struct LoginForm
{
    explicit LoginForm(DLogin& dialog)
        : books(dialog.findChild<QComboBox*>("cbDbList")), password(dialog.findChild<QLineEdit*>("lePassword")),
          ok(dialog.findChild<QPushButton*>("pbOK"))
    {
    }
    QStringList texts() const
    {
        QStringList list;
        for (int i = 0; i < books->count(); ++i)
            list << books->itemText(i);
        return list;
    }
    QComboBox* books;
    QLineEdit* password;
    QPushButton* ok;
};

QStringList files(const TestBook& home)
{
    return QDir(home.dataDir()).entryList(QDir::Files, QDir::Name);
}
} // namespace

class TestDLogin : public QObject
{
    Q_OBJECT

private slots:
    void listsNewestFirstAndPreselects_data()
    {
        QTest::addColumn<QString>("bookArgument");
        QTest::addColumn<QString>("lastBook");
        QTest::addColumn<QString>("current");
        QTest::newRow("book argument") << "mid.db"
                                       << "old.db"
                                       << "mid";
        QTest::newRow("last book") << ""
                                   << "old.db"
                                   << "old";
        QTest::newRow("neither: the newest") << ""
                                             << "gone.db"
                                             << "new";
        QTest::newRow("exact name only") << "MID.db"
                                         << ""
                                         << "new";
    }
    void listsNewestFirstAndPreselects()
    {
        QFETCH(QString, bookArgument);
        QFETCH(QString, lastBook);
        QFETCH(QString, current);
        TestBook home;
        makeBook("old.db", "", 300);
        makeBook("mid.db", "", 200);
        makeBook("new.db", "", 100);
        FileSetting::getInstance()->setValue("Common/LastBook", lastBook);
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, bookArgument);
        LoginForm form(dialog);
        QCOMPARE(form.texts(), (QStringList{"new", "mid", "old"}));
        QCOMPARE(form.books->currentText(), current);
        QVERIFY(boxes.boxes().isEmpty());
    }

    void checksThePassword_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << "Secret" << true;
        QTest::newRow("wrong") << "nope" << false;
        QTest::newRow("other case") << "secret" << false;
        QTest::newRow("empty") << "" << false;
    }
    void checksThePassword()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        TestBook home;
        makeBook("Home.db", "Secret");
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "Home.db");
        LoginForm form(dialog);
        QVERIFY(form.password->isEnabled());
        form.password->setText(typed);
        form.ok->click();
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(storedLastBook(), accepted ? QString("Home.db") : QString("(unset)"));
        if (!accepted) {
            QCOMPARE(boxes.boxes().size(), 1);
            QCOMPARE(boxes.boxes().first().first, QString("密码错误"));
            QCOMPARE(boxes.boxes().first().second, QString("您输入的密码有错误！"));
            QCOMPARE(form.password->text(), typed);
        }
    }

    void bookWithoutPasswordAcceptsAnyText()
    {
        TestBook home;
        makeBook("Open.db");
        DLogin dialog(nullptr, "Open.db");
        LoginForm form(dialog);
        QVERIFY(!form.password->isEnabled());
        form.password->setText("whatever");
        form.ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Constants::getInstance()->getBookName(), QString("Open.db"));
    }

    void switchingBooksRereadsThePassword()
    {
        TestBook home;
        makeBook("guarded.db", "pw", 100);
        makeBook("open.db", "", 200);
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "guarded.db");
        LoginForm form(dialog);
        QVERIFY(form.password->isEnabled());
        form.books->setCurrentIndex(form.books->findData("open.db"));
        QVERIFY(!form.password->isEnabled());
        form.books->setCurrentIndex(form.books->findData("guarded.db"));
        QVERIFY(form.password->isEnabled());
        form.password->setText("");
        form.ok->click();
        QVERIFY(dialog.result() != QDialog::Accepted);
        QCOMPARE(boxes.boxes().size(), 1);
    }

    // Typing can start at once: the password field has the focus whenever the selected book asks for one.
    void focusesThePasswordWhenNeeded_data()
    {
        QTest::addColumn<QString>("preselected");
        QTest::addColumn<QString>("switchedTo"); // empty: no switch after the dialog shows
        QTest::addColumn<bool>("onPassword");
        QTest::newRow("protected") << "guarded.db" << QString() << true;
        QTest::newRow("open") << "open.db" << QString() << false;
        QTest::newRow("switched to protected") << "open.db" << QString("guarded.db") << true;
    }
    void focusesThePasswordWhenNeeded()
    {
        QFETCH(QString, preselected);
        QFETCH(QString, switchedTo);
        QFETCH(bool, onPassword);
        TestBook home;
        makeBook("guarded.db", "pw", 100);
        makeBook("open.db", "", 200);
        DLogin dialog(nullptr, preselected);
        LoginForm form(dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        if (!switchedTo.isEmpty())
            form.books->setCurrentIndex(form.books->findData(switchedTo));
        QCOMPARE(dialog.focusWidget() == form.password, onPassword);
    }

    void usesTheRealFileName()
    {
        // On a case-sensitive file system "X" + ".db" is another file than X.DB.
        TestBook home;
        makeBook("X.DB", "pw");
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "X.DB");
        LoginForm form(dialog);
        QCOMPARE(form.books->currentText(), QString("X"));
        QVERIFY(form.password->isEnabled());
        form.password->setText("pw");
        form.ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(storedLastBook(), QString("X.DB"));
        QCOMPARE(files(home), QStringList{"X.DB"});
        QVERIFY(boxes.boxes().isEmpty());
    }

    void unreadableBookCannotBeOpened_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::newRow("not a book") << false;
        QTest::newRow("removed after listing") << true;
    }
    void unreadableBookCannotBeOpened()
    {
        QFETCH(bool, removed);
        TestBook home;
        makeBook("good.db", "pw", 100);
        if (removed)
            makeBook("bad.db", "", 200);
        else
            makeBrokenBook("bad.db");
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "good.db");
        LoginForm form(dialog);
        if (removed)
            QVERIFY(QFile::remove(home.dataDir() + "bad.db"));
        form.books->setCurrentIndex(form.books->findData("bad.db"));
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first, QString("数据文件错误"));
        QVERIFY(boxes.boxes().first().second.startsWith("打开数据文件出现错误。"));
        // The password of the book selected before must not carry over.
        QVERIFY(!form.password->isEnabled());
        form.ok->click();
        QVERIFY(dialog.result() != QDialog::Accepted);
        QCOMPARE(boxes.boxes().size(), 2);
        QCOMPARE(storedLastBook(), QString("(unset)"));
        QCOMPARE(files(home), removed ? QStringList{"good.db"} : (QStringList{"bad.db", "good.db"}));
    }

    void unreadablePreselectedBookIsReportedOverTheDialog()
    {
        TestBook home;
        makeBook("good.db", "", 100);
        makeBrokenBook("bad.db");
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "bad.db");
        LoginForm form(dialog);
        QCOMPARE(form.books->currentText(), QString("bad"));
        QVERIFY(boxes.boxes().isEmpty());
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first, QString("数据文件错误"));
        form.ok->click();
        QVERIFY(dialog.result() != QDialog::Accepted);
        QCOMPARE(storedLastBook(), QString("(unset)"));
    }

    void noBookDoesNothing()
    {
        TestBook home;
        MessageBoxRecorder boxes;
        DLogin dialog(nullptr, "gone.db");
        LoginForm form(dialog);
        QCOMPARE(form.books->currentIndex(), -1);
        form.ok->click();
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(storedLastBook(), QString("(unset)"));
        QVERIFY(QDir(home.dataDir()).entryList({"*.db"}, QDir::Files).isEmpty());
    }

    void emptyFolderIsCreated()
    {
        TestBook home;
        QVERIFY(QDir(home.dataDir()).removeRecursively());
        DLogin dialog(nullptr, "");
        QVERIFY(QDir(home.dataDir()).exists());
        QCOMPARE(LoginForm(dialog).books->count(), 0);
    }
};

QTEST_MAIN(TestDLogin)
#include "tst_dlogin.moc"
