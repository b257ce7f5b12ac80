#pragma once

#include <QObject>
#include <QString>

// What the update check tells of the latest version: what is new, where its installer lies and its code.
class MVersion : public QObject
{
    Q_OBJECT

public:
    explicit MVersion(QObject* parent = nullptr);

    // Rich text shown before the download.
    QString description;
    QString url1;
    // Tried when the download from url1 fails.
    QString url2;
    QString vername;
    // Compared with the program's own version code.
    int vercode = 0;
};
