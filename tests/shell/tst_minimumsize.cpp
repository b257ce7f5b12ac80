#include "shelltesting.h"

#include "bookrows.h"
#include "shell/mainwindow.h"
#include "shell/ubook.h"
#include "shell/ucontent.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>

namespace {
// The size a widget's text takes in the widget's font, and the room the style leaves it.
struct TextRoom
{
    QSize needed;
    QSize room;
};

QSize textSize(const QWidget* widget, const QString& text, const QIcon& icon, const QSize& iconSize)
{
    // An icon stands before the text, 4 pixels apart.
    const int iconWidth = icon.isNull() ? 0 : iconSize.width() + 4;
    return QSize(widget->fontMetrics().horizontalAdvance(text) + iconWidth, widget->fontMetrics().height());
}

TextRoom roomOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const auto contents =
            qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents;
        return {textSize(button, button->text(), button->icon(), button->iconSize()),
                button->style()->subElementRect(contents, &option, button).size()};
    }
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.subControls = QStyle::SC_All;
        const QIcon icon = box->itemIcon(box->currentIndex());
        return {textSize(box, box->currentText(), icon, box->iconSize()),
                box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).size()};
    }
    auto* label = static_cast<QLabel*>(widget);
    if (label->wordWrap())
        return {QSize(0, label->heightForWidth(label->width())), label->size()};
    QSize needed(0, label->fontMetrics().height() * int(label->text().count('\n') + 1));
    for (const QString& line : label->text().split('\n'))
        needed.setWidth(qMax(needed.width(), label->fontMetrics().horizontalAdvance(line)));
    return {needed, label->contentsRect().marginsRemoved(QMargins(1, 1, 1, 1) * label->margin()).size()};
}

QString captionOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    return static_cast<QLabel*>(widget)->text();
}

// Where the widget lies in the window, cut to what its ancestors show of it.
QRect shownPart(QWidget* widget)
{
    QWidget* window = widget->window();
    QRect shown(widget->mapTo(window, QPoint()), widget->size());
    for (QWidget* ancestor = widget->parentWidget(); ancestor != window; ancestor = ancestor->parentWidget())
        shown &= QRect(ancestor->mapTo(window, QPoint()), ancestor->size());
    return shown;
}

QString sizeText(const QSize& size)
{
    return QString("%1x%2").arg(size.width()).arg(size.height());
}

// Every visible button, label and combo box of `area` whose text is cut: narrower or lower than its text,
// reaching beyond what its parents show, or lying over another of them.
QStringList cutTexts(QWidget* area)
{
    QList<QWidget*> shown;
    QStringList cuts;
    for (QWidget* widget : area->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !(qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
                                      qobject_cast<QLabel*>(widget)))
            continue;
        const QString name = QString("%1 \"%2\"").arg(widget->objectName(), captionOf(widget));
        const QRect place = shownPart(widget);
        if (place.size() != widget->size())
            cuts << QString("%1: shows %2 of %3").arg(name, sizeText(place.size()), sizeText(widget->size()));
        for (QWidget* other : shown) {
            if (place.intersects(shownPart(other)))
                cuts << QString("%1 lies over %2").arg(name, other->objectName());
        }
        shown << widget;
        const TextRoom text = roomOf(widget);
        if (!captionOf(widget).isEmpty() && text.room.expandedTo(text.needed) != text.room)
            cuts << QString("%1: needs %2, has %3").arg(name, sizeText(text.needed), sizeText(text.room));
    }
    return cuts;
}
} // namespace

// At the window's smallest size every page still shows the whole text of each of its buttons, labels and combo
// boxes. The pages are the real ones; the analysis pages stay on their tables, which start no browser view.
class TestMinimumSize : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_home = new TestBook;
        FileSetting::getInstance()->setValue("Backup/BackupWhenStartup", false);
        FileSetting::getInstance()->setValue("Common/EnableAutoUpdate", false);
        qApp->setStyleSheet(StyleSheet::load());
        m_window = new MainWindow;
        m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); // the test screen is smaller than the window
        m_window->resize(m_window->minimumSize());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QCOMPARE(m_window->size(), QSize(900, 600));
    }
    void cleanupTestCase()
    {
        delete m_window;
        qApp->setStyleSheet(QString());
        BookRows::dropCaches();
        delete m_home;
    }

    void pageShowsItsTextsWhole_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("bookPage");
        QTest::addColumn<int>("tab");
        for (const char* page :
             {"BillList", "AccountList", "CategoryList", "BorrowerList", "MemberList", "CategoryAnalysis",
              "AccountAnalysis", "BorrowerAnalysis", "MemberAnalysis", "BillStat"})
            QTest::newRow(page) << "Book" << page << -1;
        QTest::newRow("Sync") << "Sync" << QString() << -1;
        QTest::newRow("Data") << "Data" << QString() << -1;
        for (int tab = 0; tab < 5; ++tab)
            QTest::addRow("Setting, tab %d", tab) << "Setting" << QString() << tab;
    }
    void pageShowsItsTextsWhole()
    {
        QFETCH(QString, page);
        QFETCH(QString, bookPage);
        QFETCH(int, tab);
        auto* content = m_window->findChild<UContent*>();
        content->showPage(page);
        if (!bookPage.isEmpty())
            m_window->findChild<UBook*>()->showPage(bookPage);
        if (tab >= 0)
            content->currentWidget()->findChild<QTabWidget*>()->setCurrentIndex(tab);
        QTest::qWait(0);
        const QStringList cuts = cutTexts(content);
        QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join("\n")));
    }

private:
    TestBook* m_home = nullptr;
    MainWindow* m_window = nullptr;
};

QTEST_MAIN(TestMinimumSize)
#include "tst_minimumsize.moc"
