#include "webprobe.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWebEngineView>
#include <memory>

QVariant WebProbe::eval(QWebEngineView* view, const QString& script, int timeoutMs)
{
    // The answer may come after this call gave up, so it writes into storage that outlives the call.
    auto answer = std::make_shared<QPair<bool, QVariant>>(false, QVariant());
    view->page()->runJavaScript(script, [answer](const QVariant& value) { *answer = {true, value}; });
    if (!QTest::qWaitFor([&answer] { return answer->first; }, timeoutMs))
        return QVariant();
    return answer->second;
}

bool WebProbe::waitFor(QWebEngineView* view, const QString& script, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (eval(view, script, timeoutMs).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}
