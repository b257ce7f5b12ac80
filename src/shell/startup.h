#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

// The decisions of start-up before the main window exists: the command line's verb, and which book to open,
// with the login dialog when the user must choose a book or type its password.
class Startup
{
    Q_DECLARE_TR_FUNCTIONS(Startup)

public:
    virtual ~Startup() = default;

    // Carries out the verb: "restore" and "keddo" replace the current book with the file and report the result;
    // "book" names the book to open. Returns that book's file name, or an empty text.
    QString runVerb(const QString& verb, const QString& file);
    // Makes the book to open the current book, with the login where needed; false when the user cancelled the
    // login, and the program then ends.
    bool chooseBook(const QString& book);

protected:
    // Messages before the main window exists go through Qt's standard box.
    virtual void warn(const QString& title, const QString& text);
    // Runs the login dialog with `book` preselected; true when a book was logged in to.
    virtual bool login(const QString& book);

private:
    // Makes `name` the current book when it has no password, else runs the login with `preselected`; no answer
    // (after a warning) when the book cannot be read.
    std::optional<bool> openOrLogin(const QString& name, const QString& preselected);
};
