#include "platform/programlauncher.h"

#include <QtTest>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

class TestProgramLauncher : public QObject
{
    Q_OBJECT

private slots:
    // The browser engine leaves some of its connections open across exec, and its helper processes end only once
    // those close. A pipe opened the same way reaches its end as soon as this process closes its writing end,
    // whatever the new copy does.
    void copyHoldsNoneOfTheConnections()
    {
        int ends[2];
        QCOMPARE(::pipe(ends), 0);
        QVERIFY(ProgramLauncher().startCopy({"copy", QString::number(::getpid())},
                                            QProcessEnvironment::systemEnvironment()));
        ::close(ends[1]);
        pollfd reader{ends[0], POLLIN, 0};
        char byte;
        QVERIFY(::poll(&reader, 1, 30000) == 1 && ::read(ends[0], &byte, 1) == 0);
    }

    // What the new copy says on standard error reaches the one it was given, like its standard output.
    void copyKeepsStandardError()
    {
        int ends[2];
        QCOMPARE(::pipe(ends), 0);
        const int given = ::dup(STDERR_FILENO);
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
        const bool started = ProgramLauncher().startCopy({"speak"}, QProcessEnvironment::systemEnvironment());
        ::dup2(given, STDERR_FILENO);
        ::close(given);
        QVERIFY(started);
        QByteArray said;
        char buffer[64];
        pollfd reader{ends[0], POLLIN, 0};
        for (ssize_t got = 1; got > 0 && ::poll(&reader, 1, 30000) == 1;) {
            got = ::read(ends[0], buffer, sizeof buffer);
            said.append(buffer, qMax<ssize_t>(got, 0));
        }
        ::close(ends[0]);
        QCOMPARE(said, QByteArray("spoken\n"));
    }
};

int main(int argc, char* argv[])
{
    // Started as the new copy, with the process id of the copy before: it lives until that copy has ended.
    if (argc == 3 && QByteArray(argv[1]) == "copy") {
        for (int i = 0; i < 1200 && ::kill(atoi(argv[2]), 0) == 0; ++i)
            usleep(100000);
        return 0;
    }
    if (argc == 2 && QByteArray(argv[1]) == "speak")
        return ::write(STDERR_FILENO, "spoken\n", 7) == 7 ? 0 : 1;
    QCoreApplication app(argc, argv);
    TestProgramLauncher test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_programlauncher.moc"
