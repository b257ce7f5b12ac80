#include "data/constants.h"

#include "data/filesetting.h"
#include "data/metadata.h"
#include "platform/platformprobe.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>

namespace {
Constants* instance = nullptr;
const char* defaultBookName = "Quillbay.db";
const char* defaultServiceUrl = "http://127.0.0.1:8647/";
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
    accountKinds = new MetaData;
    accountKinds->add(tr("现金"), "cash");
    accountKinds->add(tr("银行卡"), "card");
    accountKinds->add(tr("信用卡"), "credit");
    accountKinds->add(tr("基金"), "fund");
    accountKinds->add(tr("股票"), "stock");
    accountKinds->add(tr("其它"), "other");

    borrowerKinds = new MetaData;
    borrowerKinds->add(tr("债权人"), "creditor");
    borrowerKinds->add(tr("债务人"), "debtor");

    categoryKinds = new MetaData;
    categoryKinds->add(tr("支出"), "expense");
    categoryKinds->add(tr("收入"), "income");

    loanKinds = new MetaData;
    loanKinds->add(tr("借出"), "lend");
    loanKinds->add(tr("借入"), "borrow");
    loanKinds->add(tr("收款"), "refund");
    loanKinds->add(tr("还款"), "repay");

    billKinds = new MetaData;
    billKinds->add(tr("支出"), "expense");
    billKinds->add(tr("收入"), "income");
    billKinds->add(tr("转账"), "transfer");
    billKinds->add(tr("借出"), "lend");
    billKinds->add(tr("借入"), "borrow");
    billKinds->add(tr("收款"), "refund");
    billKinds->add(tr("还款"), "repay");
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
        dbDir = probe.documentsLocation() + sep + "Quillbay" + sep;
        configDir = dbDir;
        if (QDir(oldDocuments).exists() && !QDir(dbDir).exists()) {
            makeDir(dbDir);
            copyFiles(oldDocuments, dbDir);
            copyFiles(oldData, configDir);
        }
    } else {
        dbDir = programFolder + sep + "data" + sep;
        configDir = dbDir;
    }

    configDir = QDir::toNativeSeparators(configDir);
    makeDir(configDir);
    dbDir = QDir::toNativeSeparators(dbDir);
    makeDir(dbDir);

    // The older brand's file names give way to ours wherever ours are free; rename never overwrites.
    QFile::rename(configDir + "Fennick.ini", configDir + "Quillbay.ini");
    QFile::rename(configDir + "Fennick.db", configDir + "Quillbay.db");
    bookName.clear();
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
    return accountKinds;
}

MetaData* Constants::getBorrowerKinds() const
{
    return borrowerKinds;
}

MetaData* Constants::getCategoryKinds() const
{
    return categoryKinds;
}

MetaData* Constants::getLoanKinds() const
{
    return loanKinds;
}

MetaData* Constants::getBillKinds() const
{
    return billKinds;
}

QString Constants::getDbDir() const
{
    return dbDir;
}

QString Constants::getConfigDir() const
{
    return configDir;
}

QString Constants::getBookName()
{
    if (bookName.isEmpty()) {
        // An empty stored name counts as none: it would make the data folder itself the book's path.
        bookName = FileSetting::getInstance()->getValue("Common/LastBook", defaultBookName).toString();
        if (bookName.isEmpty())
            bookName = defaultBookName;
    }
    return bookName;
}

void Constants::setBookName(const QString& name)
{
    bookName = name;
    FileSetting::getInstance()->setValue("Common/LastBook", name);
}

QString Constants::getBaseUrl() const
{
    qDebug() << "program folder" << QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    const QString configured = qEnvironmentVariable("QUILLBAY_SERVICE_URL");
    return configured.isEmpty() ? QString(defaultServiceUrl) : configured;
}

void Constants::makeDir(const QString& path)
{
    QDir dir(path);
    if (!dir.exists())
        dir.mkpath(".");
}

void Constants::copyFiles(QString source, QString target)
{
    source = QDir::toNativeSeparators(source);
    target = QDir::toNativeSeparators(target);
    const QStringList names = QDir(source).entryList(QDir::Files);
    for (const QString& name : names)
        QFile::copy(source + name, target + name);
}
