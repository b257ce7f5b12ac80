#include "shell/bookpassword.h"

#include "data/bookconnection.h"
#include "data/dbsetting.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

bool BookPassword::isReadable() const
{
    return m_readable;
}

QString BookPassword::password() const
{
    return m_password;
}

QString BookPassword::errorText() const
{
    return m_errorText;
}

BookPassword BookPassword::read(const QString& path)
{
    BookPassword result;
    const QFileInfo file(path);
    // Told apart from a file that does not open, for the user.
    if (!file.isFile()) {
        result.m_errorText = tr("文件不存在。");
        return result;
    }
    // An empty file holds nothing yet: opening it makes it a new book, which has no password.
    if (file.size() == 0) {
        result.m_readable = true;
        return result;
    }
    // A file that is not a database opens all the same; it shows only when the query fails.
    result.m_readable = BookConnection::withTemporary(
        "BookPassword", path,
        [&result](QSqlDatabase& db) {
            QSqlQuery query(db);
            if (!query.exec("select password from tbl_setting")) {
                result.m_errorText = query.lastError().text();
                return false;
            }
            if (query.next())
                result.m_password = DbSetting::decodePassword(query.value(0).toString());
            return true;
        },
        true);
    return result;
}
