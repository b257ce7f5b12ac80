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
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QToolButton>

namespace {
// The room the style leaves a widget's text and the room that text takes, in the widget's own font.
struct TextRoom
{
    QSize needed;
    QSize room;
};

int textWidth(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split('\n'))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The room of a button's caption; an icon stands before it with a gap of 4 pixels.
TextRoom buttonRoom(QAbstractButton* button, const QString& text)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const int icon = option.icon.isNull() ? 0 : option.iconSize.width() + 4;
    const QSize needed(textWidth(button->fontMetrics(), text) + icon, button->fontMetrics().height());
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QToolButton*>(button)) // the tool bar's captions stand under their icons
        return {QSize(qMax(needed.width() - icon, option.iconSize.width()), needed.height() + option.iconSize.height()),
                button->contentsRect().size()};
    return {needed, button->style()->subElementRect(contents, &option, button).size()};
}

TextRoom comboRoom(QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    option.currentText = box->currentText();
    option.currentIcon = box->itemIcon(box->currentIndex());
    option.iconSize = box->iconSize();
    option.subControls = QStyle::SC_All;
    const int icon = option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4;
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    return {QSize(textWidth(box->fontMetrics(), option.currentText) + icon, box->fontMetrics().height()), field.size()};
}

TextRoom labelRoom(QLabel* label)
{
    const QRect inside = label->contentsRect().marginsRemoved(QMargins(1, 1, 1, 1) * label->margin());
    if (label->wordWrap())
        return {QSize(0, label->heightForWidth(label->width())), label->size()};
    if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text()))
        return {label->sizeHint(), label->size()};
    const int lines = int(label->text().count('\n')) + 1;
    return {QSize(textWidth(label->fontMetrics(), label->text()), label->fontMetrics().height() * lines),
            inside.size()};
}

QString captionOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return QString(button->text()).remove(QRegularExpression("&(?!&)"));
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return QString();
}

TextRoom roomOf(QWidget* widget, const QString& caption)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return buttonRoom(button, caption);
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return comboRoom(box);
    return labelRoom(static_cast<QLabel*>(widget));
}

// Where the widget lies in the window, cut to what its ancestors show of it.
QRect shownPart(QWidget* widget, QWidget* window)
{
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
        const QString caption = captionOf(widget);
        const QString name = QString("%1 \"%2\"").arg(widget->objectName(), caption);
        const QRect place = shownPart(widget, area->window());
        if (place.size() != widget->size())
            cuts << QString("%1: shows %2 of %3").arg(name, sizeText(place.size()), sizeText(widget->size()));
        for (QWidget* other : shown) {
            if (place.intersects(shownPart(other, area->window())) && !other->isAncestorOf(widget) &&
                !widget->isAncestorOf(other))
                cuts << QString("%1 lies over %2").arg(name, other->objectName());
        }
        shown << widget;
        if (caption.isEmpty())
            continue;
        const TextRoom text = roomOf(widget, caption);
        if (text.room.expandedTo(text.needed) != text.room)
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
        // The status bar shortens its own figures to the room it has; it has tests of its own.
        const QStringList cuts = cutTexts(m_window->findChild<QWidget*>("wgtHeader")) + cutTexts(content);
        QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join("\n")));
    }

private:
    TestBook* m_home = nullptr;
    MainWindow* m_window = nullptr;
};

QTEST_MAIN(TestMinimumSize)
#include "tst_minimumsize.moc"
