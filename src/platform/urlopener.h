#pragma once

#include "platform/replaceable.h"

#include <QUrl>

// Opens a web address in the user's browser; tests hand in an opener of their own so nothing is started.
class UrlOpener : public Replaceable<UrlOpener>
{
public:
    virtual ~UrlOpener() = default;

    // False when no browser could be asked to open it. The platform's complaint about a missing browser is not
    // printed: the caller tells the user instead.
    virtual bool open(const QUrl& url);
};
