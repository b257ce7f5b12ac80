#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class QSettings;

// The program's settings file, "Quillbay.ini" in the settings folder.
class FileSetting : public QObject
{
    Q_OBJECT

public:
    static FileSetting* getInstance();
    // Drops the singleton so that the next use opens the file in the current settings folder; only tests call it.
    static void resetInstance();

    QVariant getValue(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    // A removed key reads as its reader's default again.
    void removeValue(const QString& key);

    bool isSyncWhenStartup() const;
    void setSyncWhenStartup(bool on);
    bool isSyncWhenClose() const;
    void setSyncWhenClose(bool on);
    bool isCloseWhenSyncFinished() const;
    void setCloseWhenSyncFinished(bool on);

    QString getPageSize() const;
    void setPageSize(QString pageSize);

    QString getBackupDir() const;

    QList<int> getColumnWidths(const QString& table) const;
    void setColumnWidths(const QString& table, const QList<int>& widths);

    // Writes pending changes to the file now.
    void sync();

private:
    explicit FileSetting(QObject* parent = nullptr);
    ~FileSetting() override;

    QSettings* settings;
};
