#pragma once

#include <QObject>
#include <QString>

class HttpHelper;
class MVersion;
class QWidget;

// Asks the online service for the latest version of the program. In automatic mode it offers a newer version
// itself in the update dialog; in manual mode it hands every answer to versionChecked(), newer or not.
class UpdateHelper : public QObject
{
    Q_OBJECT

public:
    UpdateHelper(QWidget* parent, bool automatic);

    // Each call asks again and refills the same record.
    void checkVersion();

signals:
    void versionChecked(MVersion* version);
    // No check could be made, for the reason given; nothing was asked.
    void checkFailed(QString message);

private slots:
    void downloaded(QString html);

private:
    QWidget* parentWidget;
    HttpHelper* http = nullptr;
    bool automatic;
    MVersion* version;
};
