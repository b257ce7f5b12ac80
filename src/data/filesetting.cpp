#include "data/filesetting.h"

#include "data/constants.h"
#include "data/logcategories.h"
#include "data/settingsfile.h"

#include <QDir>
#include <QTimer>

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

FileSetting::FileSetting(QObject* parent)
    : QObject(parent), m_path(Constants::getInstance()->getConfigDir() + "Quillbay.ini"),
      m_values(SettingsFile::read(m_path))
{
}

FileSetting::~FileSetting()
{
    sync();
}

QVariant FileSetting::getValue(const QString& key, const QVariant& defaultValue) const
{
    return m_values.value(key, defaultValue);
}

void FileSetting::setValue(const QString& key, const QVariant& value)
{
    m_values.insert(key, value);
    changed(key);
}

void FileSetting::removeValue(const QString& key)
{
    // As in the file's groups, a key takes the keys below it along.
    const QString below = key + '/';
    for (auto it = m_values.begin(); it != m_values.end();) {
        if (it.key() == key || it.key().startsWith(below)) {
            changed(it.key());
            it = m_values.erase(it);
        } else {
            ++it;
        }
    }
    changed(key);
}

void FileSetting::changed(const QString& key)
{
    m_pending.insert(key);
    // Changes made in one go (a dragged column, a dialog's options) are written together.
    if (!m_writeQueued) {
        m_writeQueued = true;
        QTimer::singleShot(0, this, &FileSetting::sync);
    }
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

bool FileSetting::sync()
{
    m_writeQueued = false;
    if (m_pending.isEmpty())
        return true;
    QSettings::SettingsMap merged = SettingsFile::read(m_path);
    for (const QString& key : std::as_const(m_pending)) {
        if (m_values.contains(key))
            merged.insert(key, m_values.value(key));
        else
            merged.remove(key);
    }
    if (!SettingsFile::write(m_path, merged)) {
        qCWarning(lcData) << "the settings file could not be written; kept" << m_pending.size() << "changes";
        return false;
    }
    m_values = merged;
    m_pending.clear();
    return true;
}
