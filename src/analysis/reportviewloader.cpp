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

// The browser engine makes this context itself when it is linked into the program, as the application starts;
// loaded later, it finds the one made here.
void shareGraphicsContext()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
}

ReportViewFactory* factory()
{
    static ReportViewFactory* loaded = [] {
        shareGraphicsContext();
        // Beside the program once installed; in the build tree, where the build puts it.
        for (const QString& folder : {QCoreApplication::applicationDirPath(), QString(QUILLBAY_PLUGIN_DIR)}) {
            QPluginLoader loader(QDir(folder).filePath(pluginName));
            if (auto* found = qobject_cast<ReportViewFactory*>(loader.instance()))
                return found;
            qCWarning(lcAnalysis) << "no report view in" << folder << loader.errorString();
        }
        return static_cast<ReportViewFactory*>(nullptr);
    }();
    return loaded;
}
} // namespace

ReportView* ReportViewLoader::create(QWidget* parent)
{
    ReportViewFactory* views = factory();
    return views ? views->create(parent) : nullptr;
}
