#include "data/filesetting.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QFile>
#include <QtTest>

class TestStyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void skinRules_data()
    {
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QString>("appended");
        QTest::newRow("default white") << "#FFFFFF"
                                       << "";
        QTest::newRow("no colour") << ""
                                   << "";
        QTest::newRow("lower-case white is a colour")
            << "#ffffff"
            << "\r\nMainWindow{border-image:none;background-color:#ffffff}"
               "\r\nQDialog[style=dialog]{border-image:none;background-color:#ffffff}";
        QTest::newRow("blue") << "#336699"
                              << "\r\nMainWindow{border-image:none;background-color:#336699}"
                                 "\r\nQDialog[style=dialog]{border-image:none;background-color:#336699}";
    }
    void skinRules()
    {
        QFETCH(QString, colour);
        QFETCH(QString, appended);
        const QString sheet = "QWidget{color:black}";
        const QString composed = StyleSheet::compose(sheet, colour);
        // Between the sheet and the two colour rules stand the rules for the foreground on that colour.
        QVERIFY(composed.startsWith(sheet));
        QVERIFY(composed.endsWith(appended));
        QCOMPARE(composed == sheet, appended.isEmpty());
    }

    void loadsTheResourceWithTheStoredColour()
    {
        TestBook home;
        QFile file(":/rc/style/default.qss");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString sheet = QString::fromLatin1(file.readAll());
        QCOMPARE(StyleSheet::load(), sheet);
        FileSetting::getInstance()->setValue("Color/SkinColor", "#123456");
        QCOMPARE(StyleSheet::load(), StyleSheet::compose(sheet, "#123456"));
        QVERIFY(StyleSheet::load().endsWith("QDialog[style=dialog]{border-image:none;background-color:#123456}"));
    }
};

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
