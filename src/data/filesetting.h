#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QVariant>

// The program's settings file, "Quillbay.ini" in the settings folder. Changes are written soon after they are
// made, as the file whole: the file on disk is at every moment the old one or the new one. A change that cannot
// be written stays pending and is written with the next change, at sync() or when the settings close; what
// another running copy wrote meanwhile is kept, but for the keys this copy changed.
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

    // Writes pending changes to the file now; false when they could not be written (a full disk), and the file
    // then holds what it held before.
    bool sync();

private:
    explicit FileSetting(QObject* parent = nullptr);
    ~FileSetting() override;

    void changed(const QString& key);

    QString m_path;
    QSettings::SettingsMap m_values;
    // Keys set or removed since the last write.
    QSet<QString> m_pending;
    bool m_writeQueued = false;
};
