#include "analysis/reportviewloader.h"

#include "analysis/reportviewfactory.h"
#include "data/logcategories.h"
#include "platform/windowplacementkeeper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <QWidget>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

QT_BEGIN_NAMESPACE
// Qt's own, exported for the browser engine, which renders through a context shared with the application's.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {
const char* pluginName = "quillbay-reportview";
const char* engineFlagsVariable = "QTWEBENGINE_CHROMIUM_FLAGS";

struct LoaderState
{
    QStringList folders;
    bool tried = false;
    ReportViewFactory* factory = nullptr;
};

LoaderState& state()
{
    static LoaderState loader;
    return loader;
}

// The browser engine makes this context itself when it is linked into the program, as the application starts;
// loaded later, it finds the one made here. It reads the context even when none could be made; the plugin then
// has the views drawn in software, where the engine would draw nothing or bring the program down.
void shareGraphicsContext()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    if (!context->create())
        qCCritical(lcAnalysis) << "no OpenGL context for the browser engine: charts and reports are drawn in software";
    qt_gl_set_global_share_context(context);
}

// Chromium refuses to start as root with its sandbox, and then ends the whole program; it also writes its own
// errors straight to the terminal, among them the lost graphics channel of a render process as the program closes.
// Both are settled in the engine's flags before it starts.
void prepareEngine()
{
#ifdef Q_OS_UNIX
    const bool root = geteuid() == 0;
#else
    const bool root = false;
#endif
    qputenv(engineFlagsVariable, ReportViewLoader::engineFlags(qgetenv(engineFlagsVariable), root));
}

// The engine draws in a helper program of its own, and ends the whole program when it finds none to start: without
// one there is no view to be had.
QString missingEngineHelper()
{
    const QString name = "QtWebEngineProcess";
    const QString given = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    const QStringList candidates =
        !given.isEmpty() ? QStringList{given}
                         : QStringList{QDir(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath)).filePath(name),
                                       QDir(QCoreApplication::applicationDirPath()).filePath(name)};
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isExecutable())
            return QString();
    return candidates.join(" or ") + " (the browser engine's helper program is missing)";
}

ReportViewFactory* load(const QStringList& folders)
{
    QStringList errors;
    if (const QString missing = missingEngineHelper(); !missing.isEmpty())
        errors << missing;
    for (const QString& folder : errors.isEmpty() ? folders : QStringList()) {
        const QString path = QDir(folder).filePath(pluginName);
        QPluginLoader loader(path);
        // Read without loading the library: the engine comes with it and looks for the context as it loads.
        if (!loader.metaData().isEmpty()) {
            shareGraphicsContext();
            prepareEngine();
            if (auto* found = qobject_cast<ReportViewFactory*>(loader.instance()))
                return found;
        }
        errors << path + " (" + loader.errorString() + ")";
    }
    qCCritical(lcAnalysis).noquote() << "no charts or reports, their view did not load:" << errors.join("; ");
    return nullptr;
}
} // namespace

ReportView* ReportViewLoader::create(QWidget* parent)
{
    LoaderState& loader = state();
    if (!loader.tried) {
        loader.tried = true;
        // Beside the program once installed; in the build tree, where the build puts it.
        loader.factory = load(loader.folders.isEmpty()
                                  ? QStringList{QCoreApplication::applicationDirPath(), QString(QUILLBAY_PLUGIN_DIR)}
                                  : loader.folders);
    }
    if (!loader.factory)
        return nullptr;
    // The view draws through the graphics stack, for which Qt makes the window's native window anew.
    WindowPlacementKeeper::keep(parent->window());
    return loader.factory->create(parent);
}

QByteArray ReportViewLoader::engineFlags(const QByteArray& given, bool root)
{
    QList<QByteArray> flags = given.simplified().split(' ');
    flags.removeAll(QByteArray());
    const auto named = [&flags](const QByteArray& name) {
        return std::any_of(flags.cbegin(), flags.cend(),
                           [&name](const QByteArray& flag) { return flag == name || flag.startsWith(name + '='); });
    };
    if (root && !named("--no-sandbox"))
        flags << "--no-sandbox";
    // Whoever asks for the engine's log gets it as asked.
    if (!named("--log-level") && !named("--enable-logging"))
        flags << "--log-level=3";
    return flags.join(' ');
}

void ReportViewLoader::setPluginFolders(const QStringList& folders)
{
    state() = {folders, false, nullptr};
}
