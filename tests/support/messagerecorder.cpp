#include "messagerecorder.h"

#include <QMutex>
#include <QRegularExpression>

namespace {
QMutex mutex;
QStringList recorded;

void record(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    const QMutexLocker lock(&mutex);
    recorded << QString::fromLatin1(context.category) + ": " + text;
}
} // namespace

MessageRecorder::MessageRecorder()
{
    const QMutexLocker lock(&mutex);
    recorded.clear();
    m_previous = qInstallMessageHandler(record);
}

MessageRecorder::~MessageRecorder()
{
    qInstallMessageHandler(m_previous);
}

QStringList MessageRecorder::lines() const
{
    const QMutexLocker lock(&mutex);
    return recorded;
}

QStringList MessageRecorder::lines(const QString& category) const
{
    return lines().filter(QRegularExpression("^" + QRegularExpression::escape(category) + ": "));
}
