#include "shell/standardtexttranslator.h"

#include <cstring>

namespace {
// The contexts Qt 6 made for texts that stay in the catalog under their Qt 5 context.
struct MovedContext
{
    const char* now;
    const char* before;
};
const MovedContext movedContexts[] = {
    // The file dialog's file types ("Folder", "Drive", "Shortcut"), now shared with other file views.
    {"QAbstractFileIconProvider", "QFileDialog"},
};
} // namespace

QString StandardTextTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                          int n) const
{
    const QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (!text.isEmpty() || !context)
        return text;
    for (const MovedContext& moved : movedContexts)
        if (std::strcmp(context, moved.now) == 0)
            return QTranslator::translate(moved.before, sourceText, disambiguation, n);
    return text;
}
