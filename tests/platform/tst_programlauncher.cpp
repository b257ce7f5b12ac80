#include "platform/programlauncher.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace {
const char* echoVariable = "TST_PROGRAMLAUNCHER_ECHO";

// This executable started as the new copy: it writes its arguments where the environment names, and ends once
// the copy that started it (the second argument) has ended.
int runAsCopy(const char* starter)
{
    QFile echo(qEnvironmentVariable(echoVariable));
    if (echo.open(QIODevice::WriteOnly))
        echo.write(QCoreApplication::arguments().mid(1).join(' ').toUtf8());
    echo.close();
    for (int i = 0; i < 1200 && ::kill(atoi(starter), 0) == 0; ++i)
        usleep(100000);
    return 0;
}
} // namespace

class TestProgramLauncher : public QObject
{
    Q_OBJECT

private slots:
    // The browser engine leaves some of its connections open across exec; its helper processes end once those
    // close. The new copy gets its arguments and environment, but none of those connections: a pipe opened the
    // same way reaches its end as soon as this process closes its own writing end.
    void copyGetsItsArgumentsAndEnvironmentButNoneOfTheConnections()
    {
        QTemporaryDir dir;
        const QString echo = dir.filePath("echo");
        int ends[2];
        QCOMPARE(::pipe(ends), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(echoVariable, echo);
        const QStringList arguments{"book", QString::number(::getpid())};
        QVERIFY(ProgramLauncher().startCopy(arguments, environment));
        ::close(ends[1]);

        pollfd reader{ends[0], POLLIN, 0};
        QCOMPARE(::poll(&reader, 1, 30000), 1);
        char byte;
        QCOMPARE(::read(ends[0], &byte, 1), ssize_t(0));
        ::close(ends[0]);
        QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(echo) ? QFile(echo).size() : 0, qint64(arguments.join(' ').size()),
                                  30000);
        QFile written(echo);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()), arguments.join(' '));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "book")
        return runAsCopy(argv[2]);
    TestProgramLauncher test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_programlauncher.moc"
