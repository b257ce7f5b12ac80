#include "testbook.h"

#include "data/bookfile.h"
#include "data/booklock.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "platform/platformprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QtTest>

namespace {

// What Qt writes at the end of the process (file dialog settings, shader cache) goes to the home folder it
// found first, after that test's own folder was removed: every test's folder lies in one removed at exit.
QString processFolder()
{
    static const QTemporaryDir folder(QDir::tempPath() + "/" + QCoreApplication::applicationName() + "-XXXXXX");
    return folder.path();
}

} // namespace

TestBook::TestBook() : m_home(processFolder() + "/home-XXXXXX")
{
    qputenv("HOME", m_home.path().toLocal8Bit());
    qunsetenv("PROGRAMFILES");
    Constants::resetInstance(PlatformProbe());
    FileSetting::resetInstance();
    DbSetting::resetInstance();
}

TestBook::~TestBook()
{
    close();
    BookLock::release();
    FileSetting::resetInstance();
}

QString TestBook::home() const
{
    return m_home.path();
}

QString TestBook::dataDir() const
{
    return Constants::getInstance()->getDbDir();
}

QString TestBook::open(const QString& name)
{
    close();
    const QString path = dataDir() + name;
    if (!QFile::exists(path))
        if (!BookFile::createFromInitial(path))
            qFatal("cannot copy the initial book to %s", qPrintable(path));
    Constants::getInstance()->setBookName(name);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(path);
    db.open();
    DbSetting::resetInstance();
    return path;
}

void TestBook::close()
{
    DbSetting::resetInstance();
    const QString name = QSqlDatabase::defaultConnection;
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QByteArray TestBook::bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
