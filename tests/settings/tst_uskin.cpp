#include "settings/uskin.h"
#include "shell/uheader.h"
#include "shell/ustatusbar.h"
#include "testbook.h"
#include "widgets/skintone.h"
#include "widgets/stylesheet.h"

#include "data/filesetting.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {
QPushButton* colourButton(USkin& panel, int row, int column)
{
    auto* grid = panel.findChild<QGridLayout*>("gridLayout");
    return qobject_cast<QPushButton*>(grid->itemAtPosition(row, column)->widget());
}

// The colour of the most opaque pixel of the icon: the colour its lines are drawn in.
QColor inkOf(const QIcon& icon)
{
    const QImage image = icon.pixmap(32, 32).toImage();
    QColor ink(Qt::transparent);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > ink.alpha())
                ink = image.pixelColor(x, y);
    return ink;
}

// The best contrast against the background that an opaque pixel of the image reaches: an icon drawn in two
// colours stands out by whichever of them differs more.
double standOut(const QImage& image, const QColor& background)
{
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() == 255)
                best = qMax(best, SkinTone::contrast(image.pixelColor(x, y), background));
    return best;
}

// The colour that the sync link's rich text carries.
QColor linkColorOf(const QLabel* link)
{
    static const QRegularExpression color("color:(#[0-9a-fA-F]{6})");
    return QColor(color.match(link->text()).captured(1));
}
} // namespace

class TestUSkin : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        qApp->setStyleSheet(StyleSheet::load());
    }
    void cleanup()
    {
        qApp->setStyleSheet(QString());
        delete m_home;
        m_home = nullptr;
    }

    void gridOfColours_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("hex");
        // clang-format off
        QTest::newRow("first") << 0 << 0 << "7E0000";
        QTest::newRow("twin left") << 4 << 8 << "7B31A6";
        QTest::newRow("twin right") << 4 << 9 << "7B31A6";
        QTest::newRow("last") << 6 << 11 << "C6C6C6";
        // clang-format on
    }
    void gridOfColours()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, hex);
        USkin panel;
        QCOMPARE(panel.findChild<QGridLayout*>("gridLayout")->count(), 84);
        QPushButton* button = colourButton(panel, row, column);
        QCOMPARE(button->objectName(), "pb" + hex);
        QCOMPARE(button->property("color").value<QColor>(), QColor("#" + hex));
        QCOMPARE(button->icon().pixmap(25, 25).toImage().pixelColor(12, 12), QColor("#" + hex));
    }

    // Each click appends its rules, so the last click decides; the choice is kept for the next start.
    void clicksAppendRulesAndStoreTheChoice()
    {
        USkin panel;
        const QString start = qApp->styleSheet();
        colourButton(panel, 0, 0)->click();
        QCOMPARE(qApp->styleSheet(), StyleSheet::compose(start, "#7E0000"));
        QVERIFY(qApp->styleSheet().endsWith("\r\nMainWindow{border-image:none;background-color:#7E0000}"
                                            "\r\nQDialog[style=dialog]{border-image:none;background-color:#7E0000}"));
        QCOMPARE(FileSetting::getInstance()->getValue("Color/SkinColor").toString(), QString("#7E0000"));

        panel.findChild<QPushButton*>("pbUseDefaultSkin")->click();
        QVERIFY(qApp->styleSheet().endsWith(
            "\r\nMainWindow{border-image:url(:/rc/images/BgMainWindow.png) 101 2 26 2 ;}"
            "\r\nQDialog[style=dialog]{border-image:url(:/rc/images/BgMessageBox.png) 60 2 40 2 ;}"));
        QCOMPARE(FileSetting::getInstance()->getValue("Color/SkinColor").toString(), QString("#FFFFFF"));
        QCOMPARE(StyleSheet::load(), start);

        colourButton(panel, 6, 2)->click();
        QVERIFY(qApp->styleSheet().endsWith("QDialog[style=dialog]{border-image:none;background-color:#FFF58F}"));
        QVERIFY(StyleSheet::load().endsWith("QDialog[style=dialog]{border-image:none;background-color:#FFF58F}"));
    }

    // Whatever the skin, the text of the header and the status bar keeps a contrast of 4.5:1 and their icons one
    // of 3:1 against it.
    void foregroundStaysLegible_data()
    {
        QTest::addColumn<QString>("skin");
        // clang-format off
        QTest::newRow("white") << "#ffffff";
        QTest::newRow("near white") << "#FEFEFE";
        QTest::newRow("mid grey") << "#777777";
        // clang-format on
        USkin panel;
        for (QPushButton* button : panel.findChildren<QPushButton*>(QRegularExpression("^pb[0-9A-F]{6}$")))
            QTest::newRow(qPrintable(button->objectName())) << "#" + button->objectName().mid(2);
    }
    void foregroundStaysLegible()
    {
        QFETCH(QString, skin);
        UHeader header;
        UStatusBar statusBar;
        statusBar.setObjectName("wgtStatusBar");
        // A dark skin first, so that a light one has to switch the foreground back.
        qApp->setStyleSheet(StyleSheet::compose(qApp->styleSheet(), "#202020"));
        qApp->setStyleSheet(StyleSheet::compose(qApp->styleSheet(), skin));
        const QColor background(skin);
        auto* title = header.findChild<QLabel*>("lblWindowTitle");
        auto* tool = header.findChild<QToolButton*>("tbSync");
        auto* close = header.findChild<QPushButton*>("pbClose");
        for (QWidget* widget : {static_cast<QWidget*>(title), static_cast<QWidget*>(tool)})
            widget->ensurePolished();
        QVERIFY(SkinTone::contrast(title->palette().color(QPalette::WindowText), background) >= 4.5);
        QVERIFY(SkinTone::contrast(tool->palette().color(QPalette::ButtonText), background) >= 4.5);
        QVERIFY(SkinTone::contrast(inkOf(tool->icon()), background) >= 3);
        QVERIFY(SkinTone::contrast(inkOf(close->icon()), background) >= 3);

        statusBar.ensurePolished();
        for (const char* name : {"lblSyncTime", "lblMonthSummary", "lblTotalSummary"}) {
            auto* label = statusBar.findChild<QLabel*>(name);
            label->ensurePolished();
            QVERIFY2(SkinTone::contrast(label->palette().color(QPalette::WindowText), background) >= 4.5, name);
        }
        QVERIFY(SkinTone::contrast(linkColorOf(statusBar.findChild<QLabel*>("lblSync")), background) >= 4.5);
        for (const char* name : {"label", "label_3"})
            QVERIFY2(standOut(statusBar.findChild<QLabel*>(name)->pixmap().toImage(), background) >= 3, name);
    }

    void everyForegroundImageExists()
    {
        const QString rules = SkinTone::rulesFor(Qt::white) + SkinTone::rulesFor(Qt::black) + SkinTone::defaultRules();
        static const QRegularExpression url(":/rc/images/[A-Za-z]+\\.png");
        int images = 0;
        for (auto match = url.globalMatch(rules); match.hasNext(); ++images) {
            const QString path = match.next().captured();
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        }
        QCOMPARE(images, 54);
    }

    void defaultLookBringsBackTheLightForeground()
    {
        UHeader header;
        UStatusBar statusBar;
        statusBar.setObjectName("wgtStatusBar");
        USkin panel;
        colourButton(panel, 6, 2)->click();
        auto* title = header.findChild<QLabel*>("lblWindowTitle");
        auto* syncTime = statusBar.findChild<QLabel*>("lblSyncTime");
        title->ensurePolished();
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor(Qt::black));
        panel.findChild<QPushButton*>("pbUseDefaultSkin")->click();
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor("#E3F4F1"));
        QCOMPARE(inkOf(header.findChild<QToolButton*>("tbSync")->icon()), QColor(Qt::white));
        QCOMPARE(syncTime->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(linkColorOf(statusBar.findChild<QLabel*>("lblSync")), QColor("#cceeff"));
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestUSkin)
#include "tst_uskin.moc"
