#include "messageboxrecorder.h"
#include "widgets/dmessagebox.h"
#include "widgets/messagetext.h"
#include "widgets/udialogtitle.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {
enum class Call
{
    Error,
    Question,
    Information
};

int callBox(Call call, const QString& title, const QString& text)
{
    switch (call) {
    case Call::Error:
        return DMessageBox::error(nullptr, text);
    case Call::Question:
        return DMessageBox::question(nullptr, title, text);
    case Call::Information:
        break;
    }
    return DMessageBox::information(nullptr, title, text);
}

// What the user saw in the box, read off the widgets while it ran.
struct Seen
{
    QString title;
    QString text;
    QStringList captions;
    QString style;
    bool frameless = false;
    QRect geometry;
    QRect screen;
    // Where the buttons stand on the screen, the title bar's close button among them.
    QList<QRect> buttonPlaces;
    // Whether the text's lines fit the width it was given, and all of them its height.
    bool fitsItsWidth = false;
    bool fitsItsHeight = false;
    // Vertical middles of the title text and of its close button, in the box.
    int titleMiddle = 0;
    int closeMiddle = 0;
};

int middleIn(QWidget* box, QWidget* child)
{
    return child->mapTo(box, child->rect().center()).y();
}

// Waits for the modal box to show, reads it and presses the named button ("close" for the title bar's).
void actOnModalBox(const QString& press, Seen* seen)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, press, seen]() {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen->title = box->findChild<QLabel*>("tlTitle")->text();
        auto* text = box->findChild<MessageText*>("tlText");
        seen->text = text->toPlainText();
        const QSizeF used = text->document()->size();
        seen->fitsItsWidth = used.width() <= text->viewport()->width();
        seen->fitsItsHeight = used.height() <= text->viewport()->height();
        seen->screen = box->screen()->availableGeometry();
        seen->style = box->property("style").toString();
        seen->frameless = box->windowFlags().testFlag(Qt::FramelessWindowHint);
        seen->geometry = box->geometry();
        seen->titleMiddle = middleIn(box, box->findChild<QLabel*>("tlTitle"));
        seen->closeMiddle = middleIn(box, box->findChild<QPushButton*>("pbClose"));
        auto* buttons = box->findChild<QDialogButtonBox*>("dbbButtons");
        QPushButton* target = nullptr;
        for (QPushButton* button : box->findChildren<QPushButton*>())
            seen->buttonPlaces << QRect(button->mapToGlobal(QPoint()), button->size());
        for (QAbstractButton* button : buttons->buttons()) {
            seen->captions << button->text();
            if (button->text() == press)
                target = qobject_cast<QPushButton*>(button);
        }
        if (press == "close")
            target = box->findChild<QPushButton*>("pbClose");
        if (target)
            target->click();
        else
            box->close();
    });
    timer->start();
}

void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint global)
{
    QMouseEvent event(type, widget->mapFromGlobal(global), global, button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
} // namespace

Q_DECLARE_METATYPE(Call)

class TestDMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void realBoxShowsAndAnswers_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("result");

        const QStringList ok{"确定"};
        const QStringList yesNo{"是", "否"};
        QTest::newRow("error ok") << Call::Error << "确定"
                                  << "错误" << ok << 1;
        QTest::newRow("error close") << Call::Error << "close"
                                     << "错误" << ok << 0;
        QTest::newRow("question yes") << Call::Question << "是"
                                      << "删除账户" << yesNo << 1;
        QTest::newRow("question no") << Call::Question << "否"
                                     << "删除账户" << yesNo << 0;
        QTest::newRow("question close") << Call::Question << "close"
                                        << "删除账户" << yesNo << 0;
        QTest::newRow("information ok") << Call::Information << "确定"
                                        << "数据文件错误" << ok << 1;
        QTest::newRow("information close") << Call::Information << "close"
                                           << "数据文件错误" << ok << 0;
    }

    void realBoxShowsAndAnswers()
    {
        QFETCH(Call, call);
        QFETCH(QString, press);
        QFETCH(QString, title);
        QFETCH(QStringList, captions);
        QFETCH(int, result);

        Seen seen;
        actOnModalBox(press, &seen);
        // The error box keeps its own title whatever the caller passes here.
        const QString callerTitle = call == Call::Error ? QString("调用者的标题") : title;
        const QString text = "打开数据文件出现错误。\n请检查文件是否存在。";
        QCOMPARE(callBox(call, callerTitle, text), result);
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.captions, captions);
        QCOMPARE(seen.style, QString("dialog"));
        QVERIFY(seen.frameless);
    }

    // A box stays on the screen with its buttons and shows its whole text, however long a line: an address breaks
    // anywhere. Over a window where the text fits, the box stays within the window too; over a window too small
    // for it, the box takes the screen's width rather than grow tall and narrow.
    void boxKeepsToTheScreenAndItsWindow_data()
    {
        QTest::addColumn<QSize>("window"); // empty: no window
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("withinWindow"); // or wider than the window
        QTest::addColumn<bool>("scrolls");
        // A path segment with no place where a line may break between words.
        const QString address = "http://127.0.0.1:8647/books/" + QString("householdledger").repeated(6) + "/";
        const QString refused = "环境变量 QUILLBAY_SERVICE_URL 的值“" + address +
                                "?x=1”带有查询或片段（“?”或“#”及其后的部分），无法连接服务器。";
        const QString noBrowser = "没有找到能打开网页的浏览器。\n请复制下面的网址，在浏览器中打开：\n" + address;
        const QString manyLines = QString("打开数据文件出现错误。\n").repeated(40);
        QTest::newRow("address below a path, no window") << QSize() << refused << false << false;
        QTest::newRow("address below a path, over a window") << QSize(600, 450) << refused << true << false;
        QTest::newRow("address to copy, over a window") << QSize(600, 450) << noBrowser << true << false;
        QTest::newRow("window too small for the text") << QSize(400, 150) << refused << false << false;
        QTest::newRow("text taller than the screen") << QSize() << manyLines << false << true;
    }
    void boxKeepsToTheScreenAndItsWindow()
    {
        QFETCH(QSize, window);
        QFETCH(QString, text);
        QFETCH(bool, withinWindow);
        QFETCH(bool, scrolls);
        QWidget owner;
        if (!window.isEmpty()) {
            owner.resize(window);
            owner.show();
            QVERIFY(QTest::qWaitForWindowExposed(&owner));
        }
        Seen seen;
        actOnModalBox("确定", &seen);
        DMessageBox::error(window.isEmpty() ? nullptr : &owner, text);
        QCOMPARE(seen.text, text);
        QVERIFY(seen.fitsItsWidth);
        QCOMPARE(seen.fitsItsHeight, !scrolls);
        const QRect& box = seen.geometry;
        const QString place = QString("%1x%2 at %3,%4").arg(box.width()).arg(box.height()).arg(box.x()).arg(box.y());
        QVERIFY2(seen.screen.contains(box), qPrintable(place));
        QCOMPARE(seen.buttonPlaces.size(), 2);
        for (const QRect& place : std::as_const(seen.buttonPlaces))
            QVERIFY(seen.screen.contains(place));
        if (withinWindow)
            QVERIFY2(box.width() <= window.width() && box.height() <= window.height(), qPrintable(place));
        else if (!window.isEmpty())
            QVERIFY2(box.width() > window.width(), qPrintable(place));
    }

    // A text a little too long for one line takes two of even length, not a full line above a word alone.
    void linesAreOfEvenLength()
    {
        const QString sentence =
            "环境变量 QUILLBAY_SERVICE_URL 的值“http://127.0.0.1:0/”的端口无效（应为 1 到 65535），无法连接服务器。";
        MessageText text;
        text.setPlainText(sentence);
        const int oneLine = QFontMetrics(text.font()).horizontalAdvance(sentence);
        text.fitWithin(oneLine, 10000);
        QVERIFY2(text.width() < oneLine * 2 / 3, qPrintable(QString("%1 of %2").arg(text.width()).arg(oneLine)));
    }

    // A box stands over its window; raised while that window is still being built (not shown yet), it stands in
    // the middle of the screen instead of over a place where no window is.
    void boxStandsOverItsWindowOrTheScreen_data()
    {
        QTest::addColumn<bool>("withParent");
        QTest::addColumn<bool>("parentShown");
        QTest::newRow("shown window") << true << true;
        QTest::newRow("window not shown yet") << true << false;
        QTest::newRow("no window") << false << false;
    }
    void boxStandsOverItsWindowOrTheScreen()
    {
        QFETCH(bool, withParent);
        QFETCH(bool, parentShown);
        QWidget window;
        window.setGeometry(20, 30, 500, 420);
        if (parentShown) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        Seen seen;
        actOnModalBox("确定", &seen);
        DMessageBox::information(withParent ? &window : nullptr, "数据文件错误", "打开数据文件出现错误。");
        const QPoint expected =
            parentShown ? window.geometry().center() : window.screen()->availableGeometry().center();
        // Qt leaves room for a window frame it cannot measure, up to 10 by 40 px.
        const QPoint off = seen.geometry.center() - expected;
        QVERIFY2(qAbs(off.x()) <= 10 && qAbs(off.y()) <= 40,
                 qPrintable(QString("off by %1,%2").arg(off.x()).arg(off.y())));
    }

    void closeButtonCentredOnTheTitle()
    {
        QFile sheet(":/rc/style/default.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromLatin1(sheet.readAll()));
        Seen seen;
        actOnModalBox("确定", &seen);
        DMessageBox::information(nullptr, "数据文件错误", "打开数据文件出现错误。");
        qApp->setStyleSheet(QString());
        QVERIFY2(qAbs(seen.titleMiddle - seen.closeMiddle) <= 1,
                 qPrintable(QString("title %1, close %2").arg(seen.titleMiddle).arg(seen.closeMiddle)));
    }

    void responderAnswersWithoutShowingABox()
    {
        // Should a box be shown after all, close it so that the failure does not hang the run.
        bool shown = false;
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&shown]() {
            if (QWidget* box = QApplication::activeModalWidget()) {
                shown = true;
                box->close();
            }
        });
        guard.start(50);

        MessageBoxRecorder recorder(0);
        QCOMPARE(DMessageBox::question(nullptr, "删除", "确定删除吗？"), 0);
        recorder.setAnswer(1);
        QCOMPARE(DMessageBox::error(nullptr, "保存失败"), 1);
        QCOMPARE(DMessageBox::information(nullptr, "数据文件错误", "打开数据文件出现错误。"), 1);
        QVERIFY(!shown);

        const QVector<QPair<QString, QString>> expected{
            {"删除", "确定删除吗？"}, {"错误", "保存失败"}, {"数据文件错误", "打开数据文件出现错误。"}};
        QCOMPARE(recorder.boxes(), expected);
    }

    void titleBarDragsItsDialog()
    {
        QDialog dialog;
        dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        auto* title = new UDialogTitle(&dialog);
        title->setGeometry(0, 0, 300, 30);
        dialog.resize(300, 200);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.frameGeometry().topLeft();

        sendMouse(title, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, start + QPoint(10, 10));
        sendMouse(title, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, start + QPoint(60, 40));
        QCOMPARE(dialog.frameGeometry().topLeft(), start + QPoint(50, 30));

        // A right press keeps the offset of the last left press; a move without the left button does nothing.
        const QPoint moved = dialog.frameGeometry().topLeft();
        sendMouse(title, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, moved + QPoint(100, 20));
        sendMouse(title, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, moved + QPoint(200, 200));
        QCOMPARE(dialog.frameGeometry().topLeft(), moved);
        sendMouse(title, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, moved + QPoint(20, 20));
        QCOMPARE(dialog.frameGeometry().topLeft(), moved + QPoint(10, 10));
    }

    void closeButtonRejectsItsDialog()
    {
        QDialog dialog;
        auto* title = new UDialogTitle(&dialog);
        title->setTitle("账户");
        dialog.setResult(QDialog::Accepted);
        dialog.show();
        title->findChild<QPushButton*>("pbClose")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(title->findChild<QLabel*>("tlTitle")->text(), QString("账户"));
    }
};

QTEST_MAIN(TestDMessageBox)
#include "tst_dmessagebox.moc"
