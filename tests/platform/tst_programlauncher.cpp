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
};

int main(int argc, char* argv[])
{
    // Started as the new copy, with the process id of the copy before: it lives until that copy has ended.
    if (argc == 3 && QByteArray(argv[1]) == "copy") {
        for (int i = 0; i < 1200 && ::kill(atoi(argv[2]), 0) == 0; ++i)
            usleep(100000);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestProgramLauncher test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_programlauncher.moc"
