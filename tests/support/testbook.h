#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private home folder for one test: the data folder lies in it, and a book made from the initial book can
// be opened there on the default connection. Singletons are reset to it and closed again on destruction.
class TestBook
{
public:
    TestBook();
    ~TestBook();

    QString home() const;
    QString dataDir() const;
    // Creates the book from the initial book (unless it exists) and opens it on the default connection.
    QString open(const QString& name = "Quillbay.db");
    void close();

    // The content of a file; empty when it cannot be read.
    static QByteArray bytesOf(const QString& path);

private:
    QTemporaryDir m_home;
};
