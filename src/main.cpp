#include "data/bookfile.h"
#include "data/constants.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"

#include <QApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QTextStream>

// Opens (or creates) the current book and brings it to the current schema.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Constants* constants = Constants::getInstance();
    const QString bookName = constants->getBookName();
    constants->setBookName(bookName);
    const QString path = constants->getDbDir() + bookName;
    QTextStream out(stdout);
    if (!QFile::exists(path) && !BookFile::createFromInitial(path)) {
        out << "cannot create " << path << Qt::endl;
        return 1;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(path);
    if (!db.open()) {
        out << "cannot open " << path << Qt::endl;
        return 1;
    }
    DBHelper::getInstance()->upgrade();
    FileSetting::getInstance()->sync();
    out << "book " << path << " at schema version " << DbSetting::getInstance()->getVersion() << Qt::endl;
    return 0;
}
