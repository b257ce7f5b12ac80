#pragma once

#include "platform/replaceable.h"

#include <QUrl>

// Opens a web address in the user's browser; tests hand in an opener of their own so nothing is started.
class UrlOpener : public Replaceable<UrlOpener>
{
public:
    virtual ~UrlOpener() = default;

    // False when no browser could be asked to open it.
    virtual bool open(const QUrl& url);
};
