#include "data/constants.h"

#include "data/filesetting.h"
#include "data/logcategories.h"
#include "data/metadata.h"
#include "data/serviceaddress.h"
#include "platform/platformprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
Constants* instance = nullptr;
const char* defaultBookName = "Quillbay.db";

// Only a bare file name names a book of the data folder: an empty name would make the folder itself the book,
// and one with a path could reach a file outside it, which the program would then upgrade and fill.
bool isBareFileName(const QString& name)
{
    return !name.isEmpty() && name != "." && !name.contains("..") && !name.contains('/') && !name.contains('\\');
}
} // namespace

Constants* Constants::getInstance()
{
    if (!instance)
        instance = new Constants(PlatformProbe());
    return instance;
}

void Constants::resetInstance(const PlatformProbe& probe)
{
    delete instance;
    instance = new Constants(probe);
}

Constants::Constants(const PlatformProbe& probe) : QObject(nullptr)
{
    buildKindTables();
    decideFolders(probe);
}

void Constants::buildKindTables()
{
    m_accountKinds = new MetaData;
    m_accountKinds->add(tr("现金"), "cash");
    m_accountKinds->add(tr("银行卡"), "card");
    m_accountKinds->add(tr("信用卡"), "credit");
    m_accountKinds->add(tr("基金"), "fund");
    m_accountKinds->add(tr("股票"), "stock");
    m_accountKinds->add(tr("其它"), "other");

    m_borrowerKinds = new MetaData;
    m_borrowerKinds->add(tr("债权人"), "creditor");
    m_borrowerKinds->add(tr("债务人"), "debtor");

    m_categoryKinds = new MetaData;
    m_categoryKinds->add(tr("支出"), "expense");
    m_categoryKinds->add(tr("收入"), "income");

    m_loanKinds = new MetaData;
    m_loanKinds->add(tr("借出"), "lend");
    m_loanKinds->add(tr("借入"), "borrow");
    m_loanKinds->add(tr("收款"), "refund");
    m_loanKinds->add(tr("还款"), "repay");

    m_billKinds = new MetaData;
    m_billKinds->add(tr("支出"), "expense");
    m_billKinds->add(tr("收入"), "income");
    m_billKinds->add(tr("转账"), "transfer");
    m_billKinds->add(tr("借出"), "lend");
    m_billKinds->add(tr("借入"), "borrow");
    m_billKinds->add(tr("收款"), "refund");
    m_billKinds->add(tr("还款"), "repay");
}

void Constants::decideFolders(const PlatformProbe& probe)
{
    const QString programsFolder = probe.programsFolder();
    const QChar sep = probe.separator();
    QString programFolder = probe.applicationDirPath();
    programFolder.replace('/', sep);

    // The programs-folder test comes first; the system version is asked only when it passes.
    const bool installed = programFolder.contains(programsFolder, Qt::CaseSensitive) && probe.isVistaOrLater();
    if (installed) {
        const QString oldDocuments = probe.documentsLocation() + sep + "Fennick" + sep;
        const QString oldData = probe.dataLocation() + sep + "Fennick" + sep;
        m_dbDir = probe.documentsLocation() + sep + "Quillbay" + sep;
        m_configDir = m_dbDir;
        if (QDir(oldDocuments).exists() && !QDir(m_dbDir).exists()) {
            makeDir(m_dbDir);
            copyFiles(oldDocuments, m_dbDir);
            copyFiles(oldData, m_configDir);
        }
    } else {
        m_dbDir = programFolder + sep + "data" + sep;
        m_configDir = m_dbDir;
    }

    m_configDir = QDir::toNativeSeparators(m_configDir);
    makeDir(m_configDir);
    m_dbDir = QDir::toNativeSeparators(m_dbDir);
    makeDir(m_dbDir);

    // The older brand's file names give way to ours wherever ours are free; rename never overwrites.
    QFile::rename(m_configDir + "Fennick.ini", m_configDir + "Quillbay.ini");
    QFile::rename(m_configDir + "Fennick.db", m_configDir + "Quillbay.db");
    m_bookName.clear();
}

QString Constants::getVersion() const
{
    return "2.2";
}

int Constants::getVersionCode() const
{
    return 44;
}

MetaData* Constants::getAccountKinds() const
{
    return m_accountKinds;
}

MetaData* Constants::getBorrowerKinds() const
{
    return m_borrowerKinds;
}

MetaData* Constants::getCategoryKinds() const
{
    return m_categoryKinds;
}

MetaData* Constants::getLoanKinds() const
{
    return m_loanKinds;
}

MetaData* Constants::getBillKinds() const
{
    return m_billKinds;
}

QString Constants::getDbDir() const
{
    return m_dbDir;
}

QString Constants::getConfigDir() const
{
    return m_configDir;
}

QString Constants::getBookName()
{
    if (m_bookName.isEmpty()) {
        m_bookName = FileSetting::getInstance()->getValue("Common/LastBook", defaultBookName).toString();
        if (!isBareFileName(m_bookName))
            m_bookName = defaultBookName;
    }
    return m_bookName;
}

void Constants::setBookName(const QString& name)
{
    m_bookName = name;
    FileSetting::getInstance()->setValue("Common/LastBook", name);
}

QString Constants::getBaseUrl() const
{
    qCDebug(lcData) << "program folder" << QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    return ServiceAddress::fromEnvironment().baseUrl();
}

QString Constants::getServiceUrlProblem() const
{
    return ServiceAddress::fromEnvironment().problem();
}

void Constants::makeDir(const QString& path)
{
    QStringList missing;
    for (QString folder = QDir::cleanPath(QDir(path).absolutePath()); !QFileInfo::exists(folder);
         folder = QFileInfo(folder).path())
        missing.prepend(folder);
    // The folders made here hold books and their backups: only the owner may look into them, whatever the umask.
    const QFile::Permissions ownerOnly =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    for (const QString& folder : std::as_const(missing))
        if (!QDir().mkdir(folder, ownerOnly) || !QFile::setPermissions(folder, ownerOnly))
            return;
}

void Constants::copyFiles(QString source, QString target)
{
    source = QDir::toNativeSeparators(source);
    target = QDir::toNativeSeparators(target);
    const QStringList names = QDir(source).entryList(QDir::Files);
    for (const QString& name : names)
        QFile::copy(source + name, target + name);
}
