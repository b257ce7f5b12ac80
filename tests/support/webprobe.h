#pragma once

#include <QString>
#include <QVariant>

class QWebEngineView;

// Reads the page of a web view from a test: runs script in it and waits for the answer.
class WebProbe
{
public:
    // The script's value; an invalid variant when no answer came within the time.
    static QVariant eval(QWebEngineView* view, const QString& script, int timeoutMs = 10000);
    // Waits until the script's value is true; false when it never became so.
    static bool waitFor(QWebEngineView* view, const QString& script, int timeoutMs = 15000);
};

// A test's main for web views: the engine needs shared GL contexts before the application exists.
#define QUILLBAY_WEB_TEST_MAIN(TestClass)                                                                              \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
