#include "data/filesetting.h"

#include "data/constants.h"
#include "data/logcategories.h"

#include <QDir>
#include <QSettings>

namespace {
FileSetting* instance = nullptr;
const char* columnWidthsKey = "Common/ColumnWidths";
const int minColumnWidth = 50;
const int maxColumnWidth = 500;
} // namespace

FileSetting* FileSetting::getInstance()
{
    if (!instance)
        instance = new FileSetting;
    return instance;
}

void FileSetting::resetInstance()
{
    delete instance;
    instance = nullptr;
}

FileSetting::FileSetting(QObject* parent) : QObject(parent)
{
    settings = new QSettings(Constants::getInstance()->getConfigDir() + "Quillbay.ini", QSettings::IniFormat);
}

FileSetting::~FileSetting()
{
    delete settings;
}

QVariant FileSetting::getValue(const QString& key, const QVariant& defaultValue) const
{
    return settings->value(key, defaultValue);
}

void FileSetting::setValue(const QString& key, const QVariant& value)
{
    settings->setValue(key, value);
}

void FileSetting::removeValue(const QString& key)
{
    settings->remove(key);
}

bool FileSetting::isSyncWhenStartup() const
{
    const bool on = getValue("Sync/SyncWhenStartup", false).toBool();
    qCDebug(lcData) << "Sync/SyncWhenStartup" << on;
    return on;
}

void FileSetting::setSyncWhenStartup(bool on)
{
    setValue("Sync/SyncWhenStartup", on);
}

bool FileSetting::isSyncWhenClose() const
{
    return getValue("Sync/SyncWhenClose", false).toBool();
}

void FileSetting::setSyncWhenClose(bool on)
{
    setValue("Sync/SyncWhenClose", on);
}

bool FileSetting::isCloseWhenSyncFinished() const
{
    return getValue("Sync/CloseWhenSyncFinished", false).toBool();
}

void FileSetting::setCloseWhenSyncFinished(bool on)
{
    setValue("Sync/CloseWhenSyncFinished", on);
}

QString FileSetting::getPageSize() const
{
    return getValue("BillList/PageSize", "0").toString();
}

void FileSetting::setPageSize(QString pageSize)
{
    if (pageSize == tr("自动"))
        pageSize = "0";
    setValue("BillList/PageSize", pageSize);
}

QString FileSetting::getBackupDir() const
{
    const QString defaultDir = Constants::getInstance()->getDbDir() + "backup" + QDir::separator();
    QString dir = getValue("Backup/BackupDir", defaultDir).toString();
    // A folder field left blank means no folder chosen, not the root or a folder named by spaces.
    if (dir.trimmed().isEmpty())
        dir = defaultDir;
    if (!dir.endsWith('/') && !dir.endsWith('\\'))
        dir += QDir::separator();
    dir = QDir::toNativeSeparators(dir);
    Constants::makeDir(dir);
    return dir;
}

QList<int> FileSetting::getColumnWidths(const QString& table) const
{
    const QString text = getValue(columnWidthsKey + table, "").toString();
    QList<int> widths;
    if (text.isEmpty())
        return widths;
    const QStringList parts = text.split(':');
    for (const QString& part : parts)
        widths << qBound(minColumnWidth, part.toInt(), maxColumnWidth);
    return widths;
}

void FileSetting::setColumnWidths(const QString& table, const QList<int>& widths)
{
    QStringList parts;
    for (int w : widths)
        parts << QString::number(w);
    setValue(columnWidthsKey + table, parts.join(':'));
}

void FileSetting::sync()
{
    settings->sync();
}
