#pragma once

#include <QString>
#include <QThread>

// Compares the computer's date with network time. No time source is connected yet, so the check finds
// nothing to report.
class DateCheckThread : public QThread
{
    Q_OBJECT

public:
    explicit DateCheckThread(QObject* parent = nullptr);

signals:
    // The computer's date differs from network time by a calendar day or more; the message says by how much.
    void incorrectDate(QString message);

protected:
    void run() override;
};
