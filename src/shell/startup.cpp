#include "shell/startup.h"

#include "data/backuphelper.h"
#include "data/bookconnection.h"
#include "data/booklock.h"
#include "data/constants.h"
#include "shell/bookpassword.h"
#include "shell/dlogin.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

QString Startup::runVerb(const QString& verb, const QString& file)
{
    const bool replacing = verb == "restore" || verb == "keddo";
    const BookLock::Outcome lock =
        replacing ? BookLock::acquire(BookConnection::currentBookPath()) : BookLock::Outcome::Held;
    if (lock != BookLock::Outcome::Held) {
        warn(verb == "restore" ? tr("恢复失败") : tr("导入失败"),
             lock == BookLock::Outcome::HeldElsewhere
                 ? tr("另一个正在运行的Quillbay云记账打开了当前账本，账本没有改动。请关闭它后再试。")
                 : tr("数据文件夹无法写入（磁盘可能已满），账本没有改动。请腾出磁盘空间后再试。"));
        return QString();
    }
    if (verb == "restore") {
        if (BackupHelper::restore(file))
            warn(tr("恢复成功"), tr("您已经成功恢复数据文件。"));
        else
            warn(tr("恢复失败"), tr("恢复数据文件出现错误。"));
    } else if (verb == "keddo") {
        bool unopened = false;
        const bool imported = BackupHelper::keddo(file, &unopened);
        if (unopened)
            warn(tr("数据文件错误"), tr("打开数据文件出现错误。"));
        if (imported)
            warn(tr("导入成功"), tr("您已经成功导入数据文件。"));
        else
            warn(tr("导入失败"), tr("导入数据文件出现错误。"));
    } else if (verb == "book") {
        // Only a file of the data folder itself can be a book to open.
        const QFileInfo info(Constants::getInstance()->getDbDir() + file);
        if (!file.isEmpty() && file == info.fileName() && info.isFile())
            return file;
    }
    return QString();
}

bool Startup::chooseBook(const QString& book)
{
    const QString folder = Constants::getInstance()->getDbDir();
    Constants::makeDir(folder);
    const QStringList files = QDir(folder, "*.db", QDir::NoSort, QDir::Files).entryList();
    if (!book.isEmpty()) {
        if (const std::optional<bool> chosen = openOrLogin(book, book))
            return *chosen;
    }
    // The ordinary decision, also when the named book could not be read: that book decides nothing.
    if (files.size() > 1)
        return login(QString());
    if (files.size() == 1 && files.first() != book) {
        if (const std::optional<bool> chosen = openOrLogin(files.first(), QString()))
            return *chosen;
    }
    // Nothing was chosen, so the main window opens the last book: it must not get past that book's password.
    const BookPassword last = BookPassword::read(folder + Constants::getInstance()->getBookName());
    if (last.isReadable() && !last.password().isEmpty())
        return login(QString());
    return true;
}

std::optional<bool> Startup::openOrLogin(const QString& name, const QString& preselected)
{
    const BookPassword stored = BookPassword::read(Constants::getInstance()->getDbDir() + name);
    if (!stored.isReadable()) {
        // The current book stays as it was.
        warn(tr("数据文件错误"), tr("打开数据文件出现错误。") + stored.errorText());
        return std::nullopt;
    }
    if (!stored.password().isEmpty())
        return login(preselected);
    Constants::getInstance()->setBookName(name);
    return true;
}

void Startup::warn(const QString& title, const QString& text)
{
    QMessageBox::warning(nullptr, title, text);
}

bool Startup::login(const QString& book)
{
    DLogin dialog(nullptr, book);
    return dialog.exec() == QDialog::Accepted;
}
