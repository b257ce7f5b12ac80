#pragma once

#include <QObject>
#include <QString>

class MetaData;
class PlatformProbe;

// Program-wide fixed facts: the kind tables, the data and settings folders, the current book's file name,
// the version and the online service's address.
class Constants : public QObject
{
    Q_OBJECT

public:
    static Constants* getInstance();
    // Replaces the singleton with one decided on the given probe; only tests call it.
    static void resetInstance(const PlatformProbe& probe);

    QString getVersion() const;
    int getVersionCode() const;

    MetaData* getAccountKinds() const;
    MetaData* getBorrowerKinds() const;
    MetaData* getCategoryKinds() const;
    MetaData* getLoanKinds() const;
    MetaData* getBillKinds() const;

    QString getDbDir() const;
    QString getConfigDir() const;
    QString getBookName();
    void setBookName(const QString& name);
    // The service's address from QUILLBAY_SERVICE_URL as an absolute root ending in "/"; empty when the address
    // is refused, which getServiceUrlProblem() then explains to the user.
    QString getBaseUrl() const;
    QString getServiceUrlProblem() const;

    // Creates the folder and every missing folder above it, each for the owner only.
    static void makeDir(const QString& path);
    static void copyFiles(QString source, QString target);

private:
    explicit Constants(const PlatformProbe& probe);
    void buildKindTables();
    void decideFolders(const PlatformProbe& probe);

    MetaData* m_accountKinds = nullptr;
    MetaData* m_borrowerKinds = nullptr;
    MetaData* m_categoryKinds = nullptr;
    MetaData* m_loanKinds = nullptr;
    MetaData* m_billKinds = nullptr;
    QString m_dbDir;
    QString m_bookName;
    QString m_configDir;
};
