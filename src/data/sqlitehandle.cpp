#include "data/sqlitehandle.h"

#include <QSqlDriver>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <dlfcn.h>
#endif

namespace {
#ifdef Q_OS_UNIX
// Whether the driver's plugin calls the same SQLite library as this program: only then is its handle ours to use.
bool driverSharesOurLibrary(const QSqlDriver* driver)
{
    Dl_info info;
    if (!dladdr(driver->metaObject(), &info) || !info.dli_fname)
        return false;
    void* plugin = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!plugin)
        return false;
    void* theirs = dlsym(plugin, "sqlite3_step");
    dlclose(plugin);
    return theirs && theirs == dlsym(RTLD_DEFAULT, "sqlite3_step");
}
#else
bool driverSharesOurLibrary(const QSqlDriver*)
{
    return false;
}
#endif
} // namespace

sqlite3* SqliteHandle::of(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    if (!db.isOpen() || !driver)
        return nullptr;
    const QVariant handle = driver->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    static const bool shared = driverSharesOurLibrary(driver);
    return shared ? *static_cast<sqlite3* const*>(handle.constData()) : nullptr;
}
