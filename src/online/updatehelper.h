#pragma once

#include <QObject>

// Asks the online service for the latest version of the program. No update service is connected yet, so a
// check finds nothing and, in automatic mode, stays silent as it does when the program is up to date.
class UpdateHelper : public QObject
{
    Q_OBJECT

public:
    UpdateHelper(QObject* parent, bool automatic);

    void checkVersion();

private:
    bool m_automatic;
};
