#pragma once

#include <QTranslator>

// Qt's own texts (standard dialogs and buttons) in Chinese, from the catalog Debian ships for Qt 6. Qt 6 asks for
// some texts under contexts that catalog does not have yet; they are looked up where Qt 5 kept them.
class StandardTextTranslator : public QTranslator
{
    Q_OBJECT

public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};
