#include "analysis/reportviewloader.h"

#include "analysis/reportviewfactory.h"
#include "data/logcategories.h"

#include <QCoreApplication>
#include <QDir>
#include <QOpenGLContext>
#include <QPluginLoader>

QT_BEGIN_NAMESPACE
// Qt's own, exported for the browser engine, which renders through a context shared with the application's.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {
const char* pluginName = "quillbay-reportview";

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

ReportViewFactory* load(const QStringList& folders)
{
    QStringList errors;
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(pluginName);
        QPluginLoader loader(path);
        // Read without loading the library: the engine comes with it and looks for the context as it loads.
        if (!loader.metaData().isEmpty()) {
            shareGraphicsContext();
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
    return loader.factory ? loader.factory->create(parent) : nullptr;
}

void ReportViewLoader::setPluginFolders(const QStringList& folders)
{
    state() = {folders, false, nullptr};
}
