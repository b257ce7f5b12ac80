#pragma once

#include <QObject>
#include <QString>

// The engine that synchronises the open book with the user's online account. The engine itself is not there
// yet: every sync ends at once with an error that says so.
class SyncHelper : public QObject
{
    Q_OBJECT

public:
    static SyncHelper* getInstance();

    // Emits syncStarted() before it returns and, from the event loop, syncFinished() or syncError().
    void sync();

signals:
    void syncStarted();
    void syncFinished();
    void syncError(int code, QString message);

private:
    explicit SyncHelper(QObject* parent = nullptr);
};
