#include "contexttranslator.h"

#include <QCoreApplication>

ContextTranslator::ContextTranslator(const QString& context, const QString& marker)
    : m_context(context), m_marker(marker)
{
    QCoreApplication::installTranslator(this);
}

ContextTranslator::~ContextTranslator()
{
    QCoreApplication::removeTranslator(this);
}

QString ContextTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                     int n) const
{
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    return m_context == QLatin1String(context) ? m_marker + QString::fromUtf8(sourceText) : QString();
}

bool ContextTranslator::isEmpty() const
{
    return false;
}
