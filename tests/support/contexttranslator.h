#pragma once

#include <QString>
#include <QTranslator>

// Installed while it lives: translates every text of one translation context into the text with a marker
// in front, so that a test sees which context a text was looked up in.
class ContextTranslator : public QTranslator
{
public:
    ContextTranslator(const QString& context, const QString& marker);
    ~ContextTranslator() override;

    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override;
    bool isEmpty() const override;

private:
    QString m_context;
    QString m_marker;
};
