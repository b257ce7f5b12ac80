#include "answerkind.h"

#include <QList>

QString AnswerKind::ofError(const QByteArray& body)
{
    const qsizetype error = body.indexOf("\"error\"");
    if (error < 0)
        return {};
    // The messages' own words, as the service writes them, in UTF-8.
    if (body.contains("服务器繁忙"))
        return "busy";
    if (body.contains("服务器保存数据失败"))
        return "store failed";
    return "error " + QString::fromLatin1(body.mid(error + 7).split(',').value(0)).remove(':').trimmed();
}
