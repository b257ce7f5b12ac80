// The look lives in resources that nothing checks at compile time: an image path misspelt in a form, an SVG
// that fails to render or a syntax slip in the style sheet only shows as a blank button or a grey window.
#include "messagerecorder.h"
#include "shell/standardtexttranslator.h"
#include "widgets/stylesheet.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QMainWindow>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QWidget>
#include <QtTest>

namespace {
const char* const kStyleSheet = ":/rc/style/default.qss";

// Image paths named in the program's sources, forms and style sheet, each with the first file naming it.
QMap<QString, QString> namedImages()
{
    static const QRegularExpression pattern(QStringLiteral(":/rc/images/[A-Za-z0-9_]+\\.[A-Za-z]+"));
    const QString root = QStringLiteral(QUILLBAY_SOURCE_DIR);
    QMap<QString, QString> found;
    for (const QString& dir : {QStringLiteral("src"), QStringLiteral("forms"), QStringLiteral("rc/style")}) {
        QDirIterator it(root + "/" + dir, {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = pattern.globalMatch(text); match.hasNext();)
                found.insert(match.next().captured(), QDir(root).relativeFilePath(file.fileName()));
        }
    }
    return found;
}

QString styleSheetText()
{
    QFile file(kStyleSheet);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

// The rules that start-up and the skin panel append for a colour, and the panel's default rules.
QString skinRules(const QString& colour)
{
    return QStringLiteral("\r\nMainWindow{border-image:none;background-color:%1}"
                          "\r\nQDialog[style=dialog]{border-image:none;background-color:%1}")
        .arg(colour);
}

QString defaultSkinRules()
{
    return QStringLiteral("\r\nMainWindow{border-image:url(:/rc/images/BgMainWindow.png) 101 2 26 2 ;}"
                          "\r\nQDialog[style=dialog]{border-image:url(:/rc/images/BgMessageBox.png) 60 2 40 2 ;}");
}

// Main-window rules select the class name MainWindow; retargeting them to QMainWindow lets a plain
// QMainWindow stand in for the real window, which would open a book and start web views.
QString forPlainMainWindow(QString sheet)
{
    return sheet.replace(QRegularExpression(QStringLiteral("\\bMainWindow\\b")), QStringLiteral("QMainWindow"));
}
} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void imageLoads_data();
    void imageLoads();
    void fixedImageSizes_data();
    void fixedImageSizes();
    void styleSheetIsAscii();
    void styleSheetParses_data();
    void styleSheetParses();
    void dialogFrame_data();
    void dialogFrame();
    void mainWindowFrame_data();
    void mainWindowFrame();
    void dialogMainActionStandsOut();
    void fileTypesReadChinese();
};

void TestResources::cleanup()
{
    qApp->setStyleSheet(QString());
}

void TestResources::imageLoads_data()
{
    QTest::addColumn<QString>("path");
    const QMap<QString, QString> named = namedImages();
    QVERIFY2(named.contains(QStringLiteral(":/rc/images/Splash.png")), "the source scan found no image paths");
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        QTest::addRow("%s in %s", qPrintable(it.key()), qPrintable(it.value())) << it.key();
    // Images in the resources that nothing names yet must still decode.
    for (QDirIterator it(QStringLiteral(":/rc/images")); it.hasNext();) {
        const QString path = it.next();
        if (!named.contains(path))
            QTest::addRow("%s", qPrintable(path)) << path;
    }
}

void TestResources::imageLoads()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), "not in the resources");
    const QImage image(path);
    QVERIFY2(!image.isNull(), "does not decode");
    QVERIFY(image.width() > 0 && image.height() > 0);
}

void TestResources::fixedImageSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    // The side menu reserves exactly this area for the new-bill button; the tool bar's cloud frame too.
    QTest::newRow("new bill") << ":/rc/images/BtnNewBill.png" << QSize(100, 64);
    QTest::newRow("cloud frame") << ":/rc/images/BgTitleBarCloud.png" << QSize(161, 76);
}

void TestResources::fixedImageSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QCOMPARE(QImage(path).size(), size);
}

void TestResources::styleSheetIsAscii()
{
    QFile file(kStyleSheet);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.isEmpty());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        QVERIFY2(static_cast<unsigned char>(bytes.at(i)) < 0x80, qPrintable(QString("non-ASCII byte at %1").arg(i)));
}

void TestResources::styleSheetParses_data()
{
    QTest::addColumn<QString>("appended");
    QTest::newRow("as shipped") << QString();
    QTest::newRow("with a skin colour") << skinRules("#005C56");
    QTest::newRow("skin then default") << skinRules("#005C56") + defaultSkinRules();
    QTest::newRow("composed for a light skin, then default")
        << StyleSheet::restoreDefault(StyleSheet::compose(QString(), "#FFF58F"));
}

void TestResources::styleSheetParses()
{
    QFETCH(QString, appended);
    QStringList parseWarnings;
    {
        const MessageRecorder messages;
        qApp->setStyleSheet(styleSheetText() + appended);
        QWidget widget;
        widget.ensurePolished();
        parseWarnings = messages.lines().filter("Could not parse");
    }
    QVERIFY2(parseWarnings.isEmpty(), qPrintable(parseWarnings.join('\n')));
}

void TestResources::dialogFrame_data()
{
    QTest::addColumn<QString>("appended");
    QTest::addColumn<QString>("flatColour");
    QTest::newRow("default") << QString() << QString();
    QTest::newRow("skin") << skinRules("#7E0000") << "#7e0000";
    QTest::newRow("skin then default") << skinRules("#7E0000") + defaultSkinRules() << QString();
}

// A frameless dialog gets its title band and body from the frame image; a skin colour replaces both, and
// the default button brings the image back over the colour that is still set.
void TestResources::dialogFrame()
{
    QFETCH(QString, appended);
    QFETCH(QString, flatColour);
    qApp->setStyleSheet(styleSheetText() + appended);
    QDialog dialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    dialog.setProperty("style", "dialog");
    dialog.resize(342, 187);
    const QImage shot = dialog.grab().toImage();
    const QImage frame(":/rc/images/BgMessageBox.png");
    const QColor band = flatColour.isEmpty() ? frame.pixelColor(frame.width() / 2, 20) : QColor(flatColour);
    const QColor body = flatColour.isEmpty() ? frame.pixelColor(frame.width() / 2, 64) : QColor(flatColour);
    QCOMPARE(shot.pixelColor(171, 20), band);
    QCOMPARE(shot.pixelColor(171, 110), body);
}

void TestResources::mainWindowFrame_data()
{
    dialogFrame_data();
}

// The main window's header band (101 px) and status band (26 px) come from its frame image.
void TestResources::mainWindowFrame()
{
    QFETCH(QString, appended);
    QFETCH(QString, flatColour);
    qApp->setStyleSheet(forPlainMainWindow(styleSheetText() + appended));
    QMainWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.resize(900, 600);
    const QImage shot = window.grab().toImage();
    const QImage frame(":/rc/images/BgMainWindow.png");
    const int middle = frame.width() / 2;
    const auto expected = [&](int y) {
        return flatColour.isEmpty() ? frame.pixelColor(middle, y) : QColor(flatColour);
    };
    QCOMPARE(shot.pixelColor(450, 50), expected(50));
    QCOMPARE(shot.pixelColor(450, 300), expected(101 + (frame.height() - 127) / 2));
    QCOMPARE(shot.pixelColor(450, 587), expected(frame.height() - 13));
}

// The main action of a dialog is filled in the accent, the others are outlined on white.
void TestResources::dialogMainActionStandsOut()
{
    qApp->setStyleSheet(styleSheetText());
    QDialog dialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    dialog.setProperty("style", "dialog");
    auto* content = new QWidget(&dialog);
    content->setObjectName("wgtContent");
    auto* layout = new QHBoxLayout(content);
    const QMap<QString, QColor> fills{{"pbOK", QColor("#12706B")}, {"pbCancel", QColor(Qt::white)}};
    for (const QString& name : fills.keys()) {
        auto* button = new QPushButton(name, content);
        button->setObjectName(name);
        layout->addWidget(button);
    }
    content->resize(300, 60);
    const QImage shot = content->grab().toImage();
    for (QPushButton* button : content->findChildren<QPushButton*>())
        QCOMPARE(shot.pixelColor(button->geometry().topLeft() + QPoint(4, 4)), fills[button->objectName()]);
}

// The file dialog's file types read Chinese, though Qt 6 asks for them under a context of their own.
void TestResources::fileTypesReadChinese()
{
    StandardTextTranslator translator;
    QVERIFY(translator.load(":/rc/qm/qt_zh_CN.qm"));
    QCoreApplication::installTranslator(&translator);
    const QString folder = QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath()));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(folder, QString("文件夹"));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
