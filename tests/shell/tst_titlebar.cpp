#include "shelltesting.h"

#include "messageboxrecorder.h"
#include "settings/uskin.h"
#include "shell/uheader.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A top-level window holding a header, so that the title bar has a window to act on.
struct Window
{
    Window()
    {
        auto* layout = new QVBoxLayout(&window);
        header = new UHeader(&window);
        layout->addWidget(header);
        window.resize(1000, 200);
    }
    QComboBox* switcher() { return header->findChild<QComboBox*>("cbBookList"); }
    QLabel* label(const char* name) { return header->findChild<QLabel*>(name); }
    QStringList texts()
    {
        QStringList list;
        for (int i = 0; i < switcher()->count(); ++i)
            list << switcher()->itemText(i);
        return list;
    }
    QWidget* titleBar() { return header->findChild<QWidget*>("wgtTitleBar"); }
    QWidget window;
    UHeader* header;
};

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(global);
    QMouseEvent event(type, local, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}
} // namespace

class TestTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        BookPageFactory::setCurrent(&m_pages);
    }
    void cleanup()
    {
        qApp->setStyleSheet(QString());
        BookPageFactory::setCurrent(nullptr);
        delete m_home;
    }

    void showsTitleAndVersion()
    {
        makeBook("Quillbay.db");
        Window w;
        QCOMPARE(w.label("lblWindowTitle")->text(), QString("Quillbay云记账 2.2"));
    }

    void switcherLists_data()
    {
        QTest::addColumn<QStringList>("books"); // name:age in seconds
        QTest::addColumn<QString>("open");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("label"); // empty: label and switcher hidden

        QTest::newRow("one book") << QStringList{"a.db:0"} << "a.db" << QStringList{"[切换账本]"} << "";
        QTest::newRow("two books") << QStringList{"a.db:0", "b.db:10"} << "a.db" << QStringList{"[切换账本]", "b"}
                                   << "a";
        QTest::newRow("newest first") << QStringList{"a.db:0", "old.db:300", "new.db:100"} << "a.db"
                                      << QStringList{"[切换账本]", "new", "old"} << "a";
        QTest::newRow("same second by name")
            << QStringList{"a.db:0", "z.db:50", "m.db:50"} << "a.db" << QStringList{"[切换账本]", "m", "z"} << "a";
        QTest::newRow("capital extension")
            << QStringList{"a.db:0", "X.DB:10"} << "a.db" << QStringList{"[切换账本]", "X"} << "a";
        QTest::newRow("open book missing")
            << QStringList{"b.db:10", "c.db:20"} << "a.db" << QStringList{"[切换账本]", "b", "c"} << "a";
    }
    void switcherLists()
    {
        QFETCH(QStringList, books);
        QFETCH(QString, open);
        QFETCH(QStringList, offered);
        QFETCH(QString, label);
        for (const QString& book : books)
            makeBook(book.section(':', 0, 0), "", book.section(':', 1).toInt());
        Constants::getInstance()->setBookName(open);
        Window w;
        QCOMPARE(w.texts(), offered);
        QCOMPARE(w.switcher()->currentIndex(), 0);
        QCOMPARE(w.switcher()->isHidden(), label.isEmpty());
        QCOMPARE(w.label("lblCurrentBook")->isHidden(), label.isEmpty());
        if (!label.isEmpty())
            QCOMPARE(w.label("lblCurrentBook")->text(), label);
        QVERIFY(!w.switcher()->itemData(0).isValid());
        for (int i = 1; i < offered.size(); ++i)
            QVERIFY(w.switcher()->itemData(i).toString().startsWith(offered[i] + "."));
    }

    // The switcher is narrow and its list's font larger: the open list still shows every name in full.
    void switcherListShowsWholeNames()
    {
        qApp->setStyleSheet(StyleSheet::load());
        makeBook("a.db");
        makeBook("二〇二四年家庭日常开支与投资理财账本.db");
        Constants::getInstance()->setBookName("a.db");
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.switcher()->showPopup();
        QAbstractItemView* list = w.switcher()->view();
        QTRY_VERIFY(list->isVisible());
        for (int row = 0; row < w.switcher()->count(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            QVERIFY2(list->sizeHintForIndex(index).width() <= list->viewport()->width(),
                     qPrintable(index.data().toString()));
        }
        w.switcher()->hidePopup();
    }

    void switcherFollowsTheFolder()
    {
        makeBook("a.db");
        Constants::getInstance()->setBookName("a.db");
        Window w;
        QVERIFY(w.switcher()->isHidden());
        makeBook("b.db");
        QTRY_COMPARE(w.texts(), (QStringList{"[切换账本]", "b"}));
        QVERIFY(!w.switcher()->isHidden());
        QVERIFY(QFile::remove(m_home->dataDir() + "b.db"));
        QTRY_VERIFY(w.switcher()->isHidden());
    }

    void switchingRestartsWithTheBook_data()
    {
        QTest::addColumn<bool>("starts");
        QTest::newRow("new copy starts") << true;
        QTest::newRow("new copy fails") << false;
    }
    void switchingRestartsWithTheBook()
    {
        QFETCH(bool, starts);
        makeBook("a.db");
        makeBook("b.db", "", 10);
        Constants::getInstance()->setBookName("a.db");
        RecordingLauncher launcher;
        launcher.succeeds = starts;
        Replaced<ProgramLauncher> replaced(&launcher);
        MessageBoxRecorder boxes;
        Window w;
        // Picking the prompt itself starts nothing.
        w.switcher()->setCurrentIndex(0);
        QVERIFY(launcher.starts.isEmpty());
        const int result = runUntilExit([&w] { w.switcher()->setCurrentIndex(1); }, 500);
        QCOMPARE(launcher.starts, (QList<QStringList>{{"book", "b.db"}}));
        // The running copy ends only once the new one runs; otherwise the user is told and it goes on.
        QCOMPARE(result, starts ? 0 : -1);
        QCOMPARE(boxes.boxes().size(), starts ? 0 : 1);
        if (!starts)
            QCOMPARE(w.switcher()->currentIndex(), 0);
    }

    void windowButtonsAndDoubleClick()
    {
        makeBook("a.db");
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto* max = w.header->findChild<QPushButton*>("maxButton");
        max->click();
        QVERIFY(w.window.isMaximized());
        max->click();
        QVERIFY(!w.window.isMaximized());
        QTest::mouseDClick(w.label("lblWindowTitle"), Qt::LeftButton);
        QVERIFY(w.window.isMaximized());
        QTest::mouseDClick(w.titleBar(), Qt::LeftButton, Qt::NoModifier, QPoint(500, 5));
        QVERIFY(!w.window.isMaximized());
        w.header->findChild<QPushButton*>("pbClose")->click();
        QVERIFY(!w.window.isVisible());
    }

    void dragsOnlyWithTheLeftButtonAlone_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left") << int(Qt::LeftButton) << int(Qt::LeftButton) << true;
        QTest::newRow("right") << int(Qt::RightButton) << int(Qt::RightButton) << false;
        QTest::newRow("left and right") << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton) << false;
    }
    void dragsOnlyWithTheLeftButtonAlone()
    {
        QFETCH(int, button);
        QFETCH(int, held);
        QFETCH(bool, moves);
        makeBook("a.db");
        Window w;
        w.window.move(100, 100);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        const QPoint before = w.window.pos();
        QWidget* bar = w.titleBar();
        const QPoint start = bar->mapToGlobal(QPoint(500, 5));
        sendMouse(bar, QEvent::MouseButtonPress, start, Qt::MouseButton(button), Qt::MouseButtons(held));
        sendMouse(bar, QEvent::MouseMove, start + QPoint(30, 20), Qt::NoButton, Qt::MouseButtons(held));
        QCOMPARE(w.window.pos(), moves ? before + QPoint(30, 20) : before);
    }

    void skinPopupOpensUnderTheButton()
    {
        makeBook("a.db");
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto* button = w.header->findChild<QPushButton*>("pbSkin");
        button->click();
        USkin* skin = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<USkin*>(widget))
                skin = found;
        QVERIFY(skin);
        const QPoint corner = button->mapToGlobal(QPoint(0, 0));
        QCOMPARE(skin->geometry().right() + 1, corner.x() + 110);
        QCOMPARE(skin->y(), corner.y() + button->height());
        skin->close();
    }

private:
    TestBook* m_home = nullptr;
    LightPageFactory m_pages;
};

QTEST_MAIN(TestTitleBar)
#include "tst_titlebar.moc"
