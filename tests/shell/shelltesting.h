#pragma once

// Helpers for the shell's widget tests: book files on disk, light pages for the book page, replaced platform
// services and a hand on modal dialogs.

#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "platform/programlauncher.h"
#include "platform/urlopener.h"
#include "shell/bookpagefactory.h"
#include "widgets/wbasewidget.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>
#include <functional>

// A book file in the data folder made from the initial book, with a password when one is given; its
// modification time is set `age` seconds into the past so that tests can order books.
inline void makeBook(const QString& name, const QString& password = QString(), int age = 0)
{
    const QString path = Constants::getInstance()->getDbDir() + name;
    QVERIFY2(BookFile::createFromInitial(path), qPrintable(path));
    if (!password.isEmpty()) {
        const bool written = BookConnection::withTemporary("test-password", path, [&password](QSqlDatabase& db) {
            QSqlQuery query(db);
            query.prepare("update tbl_setting set password=?");
            query.addBindValue(DbSetting::encodePassword(password));
            return query.exec();
        });
        QVERIFY(written);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
}

// A file with a book's name that is no database.
inline void makeBrokenBook(const QString& name)
{
    QFile file(Constants::getInstance()->getDbDir() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a book, only some text that is long enough to be taken for a header");
}

// The stored Common/LastBook, or "(unset)".
inline QString storedLastBook()
{
    return FileSetting::getInstance()->getValue("Common/LastBook", "(unset)").toString();
}

// Installs a replacement service (not owned) for the lifetime of the guard.
template <typename T> class Replaced
{
public:
    explicit Replaced(T* replacement) { T::setCurrent(replacement); }
    ~Replaced() { T::setCurrent(nullptr); }
};

class RecordingLauncher : public ProgramLauncher
{
public:
    bool startCopy(const QStringList& arguments, const QProcessEnvironment& environment) override
    {
        starts << arguments;
        environments << environment;
        return succeeds;
    }
    bool succeeds = true;
    QList<QStringList> starts;
    QList<QProcessEnvironment> environments;
};

class RecordingUrlOpener : public UrlOpener
{
public:
    bool open(const QUrl& url) override
    {
        urls << url;
        return true;
    }
    QList<QUrl> urls;
};

// A page that only counts its reloads.
class LightPage : public WBaseWidget
{
public:
    using WBaseWidget::WBaseWidget;
    void bind() override { ++binds; }
    int binds = 0;
};

// Light pages for the book page, so that no web view starts; the bill list may stay the real one, for the tests
// that depend on its class.
class LightPageFactory : public BookPageFactory
{
public:
    explicit LightPageFactory(bool realBillList = false) : m_realBillList(realBillList) {}
    WBaseWidget* create(const QString& page, QWidget* container) override
    {
        if (m_realBillList && page == "BillList")
            return BookPageFactory().create(page, container);
        return new LightPage(container);
    }

private:
    bool m_realBillList;
};

// Runs `act` on the modal dialog as soon as one shows.
inline void whenModalShows(const std::function<void(QWidget*)>& act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

// Runs the application's event loop until the code under test ends it, or `ms` have passed (result -1).
// Running the loop itself leaves the application able to run modal dialogs afterwards.
inline int runUntilExit(const std::function<void()>& start, int ms = 3000)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(ms);
    QTimer::singleShot(0, &guard, start);
    return QCoreApplication::exec();
}
