#include "shell/mainwindow.h"
#include "shell/standardtexttranslator.h"
#include "shell/startup.h"
#include "widgets/stylesheet.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QSplashScreen>

int main(int argc, char* argv[])
{
    // The web engine, loaded with the first chart or report, describes its set-up each time; like the program's
    // own diagnostics it stays quiet unless QT_LOGGING_RULES asks for it.
    QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
    QApplication app(argc, argv);
    app.setStyleSheet(StyleSheet::load());
    StandardTextTranslator translator;
    if (translator.load(":/rc/qm/qt_zh_CN.qm"))
        app.installTranslator(&translator);

    Startup startup;
    const QStringList arguments = QCoreApplication::arguments();
    QString book;
    if (arguments.size() > 1)
        book = startup.runVerb(arguments.at(1), arguments.value(2));
    if (!startup.chooseBook(book))
        return 0;

    QSplashScreen splash(QPixmap(":/rc/images/Splash.png"));
    splash.show();
    app.processEvents();
    MainWindow window;
    window.show();
    splash.finish(&window);
    return app.exec();
}
