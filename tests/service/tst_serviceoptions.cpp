#include "serviceprocess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

namespace {
// The help's text for each option, by name: the line that names it and those that go on with its text.
QMap<QString, QString> helpOf(const QByteArray& help)
{
    QMap<QString, QString> options;
    QString current;
    for (const QByteArray& line : help.split('\n')) {
        const QString text = QString::fromUtf8(line).simplified();
        if (line.startsWith("  --"))
            current = text.section(' ', 0, 0).mid(2);
        else if (!line.startsWith("   "))
            current.clear();
        if (!current.isEmpty())
            options[current] += ' ' + text;
    }
    return options;
}
} // namespace

class TestServiceOptions : public QObject
{
    Q_OBJECT

private slots:
    // Every option's help says what it is when not given, and the workers' default is what the service runs with.
    void helpGivesEveryDefault()
    {
        QProcess help;
        help.start(ServiceProcess::builtProgram(), {"--help"});
        QVERIFY(help.waitForFinished(60000));
        const QMap<QString, QString> options = helpOf(help.readAllStandardOutput());
        QVERIFY(options.contains("port") && options.contains("offer-name"));
        for (auto option = options.cbegin(); option != options.cend(); ++option)
            if (!option.key().startsWith("help"))
                QVERIFY2(option.value().contains(" Default: "), qPrintable(option.key() + ":" + option.value()));

        const QString workers = QRegularExpression(" Default: (\\d+)\\.").match(options.value("workers")).captured(1);
        QVERIFY(!workers.isEmpty());
        ServiceProcess service;
        QVERIFY(service.waitForLog("serving "));
        QVERIFY2(service.log().contains("workers: " + workers.toUtf8() + ","), service.log().constData());
    }

    // The service's log says at start, as news and no warning, the store it serves and its data folder ("{store}" and
    // "{data}", the test's), the connections it serves at once, and the descriptor limit when that lowers them (below
    // --max-connections when the operator gave it), the workers kept for cheap requests as far as the workers go, and
    // the request memory kept for small requests, in megabytes written out, however many. Silencing the warnings
    // keeps it.
    void logsTheLimitsInForce_data()
    {
        QTest::addColumn<int>("descriptors");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("the store and the data folder")
            << 1000 << QStringList{"--workers", "2"} << "info: store: {store}; data folder: {data}\n";
        QTest::newRow("few descriptors")
            << 100 << QStringList{"--workers", "8"}
            << "info: serving 16 connections at once (the descriptor limit is 100, and 104";
        QTest::newRow("descriptors for some")
            << 1000 << QStringList{"--workers", "2"}
            << "info: serving 926 connections at once (the descriptor limit is 1000, and 74";
        QTest::newRow("fewer descriptors than the connections asked for")
            << 1000 << QStringList{"--max-connections", "2000", "--workers", "2"}
            << "info: serving 926 connections at once (not --max-connections 2000: the descriptor limit is 1000";
        QTest::newRow("fewer asked for than the descriptors leave")
            << 1000 << QStringList{"--max-connections", "50", "--workers", "12"}
            << "info: serving 50 connections at once; workers: 12, 3 of them kept for cheap requests";
        QTest::newRow("too few workers for the default reserve")
            << 1000 << QStringList{"--workers", "2"} << "workers: 2, 1 of them kept for cheap requests";
        QTest::newRow("an eighth of the request memory kept for small requests")
            << 1000 << QStringList{"--workers", "2"}
            << "; request memory: 64 MB, 8 MB of it kept for heads and bodies up to 256 KB";
        QTest::newRow("an eighth of a little request memory")
            << 1000 << QStringList{"--workers", "2", "--request-memory", "4"} << "; request memory: 4 MB, 0.5 MB of";
        QTest::newRow("no more than leaves a body of 1 MB room")
            << 1000 << QStringList{"--workers", "2", "--request-memory", "1"} << "; request memory: 1 MB, 0 MB of";
        QTest::newRow("the most request memory, in whole megabytes")
            << 1000 << QStringList{"--workers", "2", "--request-memory", "1048576"}
            << "; request memory: 1048576 MB, 131072 MB of it kept";
    }

    void logsTheLimitsInForce()
    {
        QFETCH(int, descriptors);
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        ServiceLaunch launch;
        launch.descriptors = descriptors;
        qputenv("QT_LOGGING_RULES", "quillbay.service.warning=false");
        const auto rules = qScopeGuard([] { qunsetenv("QT_LOGGING_RULES"); });
        ServiceProcess service(arguments, {}, launch);
        QVERIFY(service.waitForLog("serving "));
        said.replace("{store}", service.database().mid(int(strlen("sqlite:")))).replace("{data}", service.dataDir());
        QVERIFY2(service.log().contains(said.toUtf8()), service.log().constData());
    }

    // An account the operator adds is refused in English, as the service's other messages to the operator, on one
    // line, and the service exits with status 1; the sign-up page tells its users in Chinese. One it creates is told
    // on standard output with the store it went into ("{store}", service.db in the data folder), and status 0. A name a new account
    // may not have is refused as any option's value is, by the option and the value, its control characters and its
    // blanks other than the space escaped, and so are its bytes that are no part of a UTF-8 character, which Qt would
    // read as U+FFFD. A name or a password refused as such makes nothing, neither the data folder nor the store.
    void refusesAccountsInEnglish_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("said");
        const auto row = [](const char* name, const QByteArray& account, const QString& password,
                            const QByteArray& said) { QTest::newRow(name) << account << password << said; };
        const auto text = [](const char16_t* name) { return QString::fromUtf16(name).toUtf8(); };
        row("an empty password", "new", "",
            "account not created: the password, the first line of standard input, is "
            "empty");
        row("a password beyond ASCII", "new", "密码1234",
            "account not created: the password may hold only ASCII letters, digits, symbols and blanks");
        const char* const blank = ": the name must have 1 to 64 characters, with no blank at either end";
        row("a blank after the name", "new ", "pw", QByteArray("--add-account 'new '") + blank);
        row("U+3000 after the name", text(u"new\u3000"), "pw", QByteArray("--add-account $'new\\u3000'") + blank);
        row("U+00A0 before the name", text(u"\u00a0new"), "pw", QByteArray("--add-account $'\\u00a0new'") + blank);
        const char* const control = ": the name may hold no control character (U+0000 to U+001F, U+007F to U+009F, "
                                    "U+2028, U+2029), such as a line break or a tab";
        row("a line break in the name", "nl\nhere", "pw", QByteArray("--add-account $'nl\\nhere'") + control);
        row("a tab in the name", "tab\there", "pw", QByteArray("--add-account $'tab\\there'") + control);
        row("U+0001 and a quote in the name", "ctl\x01'name", "pw",
            QByteArray("--add-account $'ctl\\x01\\'name'") + control);
        row("U+007F in the name", "del\x7fname", "pw", QByteArray("--add-account $'del\\x7fname'") + control);
        row("U+0085, a line break, in the name", text(u"nel\u0085here"), "pw",
            QByteArray("--add-account $'nel\\u0085here'") + control);
        row("U+009B, an escape sequence's start, in the name", text(u"csi\u009b2Jname"), "pw",
            QByteArray("--add-account $'csi\\u009b2Jname'") + control);
        row("U+2028 in the name", text(u"ls\u2028here"), "pw", QByteArray("--add-account $'ls\\u2028here'") + control);
        row("U+2029 at the end of the name", text(u"ps\u2029"), "pw",
            QByteArray("--add-account $'ps\\u2029'") + control);
        const char* const utf8 =
            ": the name must be UTF-8 text: each byte shown as \\x80 to \\xff is no part of a UTF-8 character";
        row("a byte that starts no character", "cli\xff", "pw", QByteArray("--add-account $'cli\\xff'") + utf8);
        row("a tab beside a byte that starts no character", "a\xff\tb", "pw",
            QByteArray("--add-account $'a\\xff\\tb'") + utf8);
        row("a line break written in two bytes", "a\xc0\x8a", "pw", QByteArray("--add-account $'a\\xc0\\x8a'") + utf8);
        row("a character written in more bytes than it takes", "\xe0\x80\xafz", "pw",
            QByteArray("--add-account $'\\xe0\\x80\\xafz'") + utf8);
        row("a surrogate", "\xed\xa0\x80z", "pw", QByteArray("--add-account $'\\xed\\xa0\\x80z'") + utf8);
        row("past U+10FFFF", "\xf4\x90\x80\x80", "pw", QByteArray("--add-account $'\\xf4\\x90\\x80\\x80'") + utf8);
        row("a character cut short, and one whole", "\xe4\xb8\xe4\xb8\xad", "pw",
            QByteArray("--add-account $'\\xe4\\xb8中'") + utf8);
        const QByteArray emoji = QString::fromUcs4(U"\U0001F600").repeated(65).toUtf8();
        row("65 characters beyond the Basic Multilingual Plane", emoji, "pw", "--add-account " + emoji + blank);
        row("a name taken", "taken", "pw", "account not created: an account of that name exists already");
        row("a name and a password it takes", "new", "pw", "account created: new in {store}");
    }

    void refusesAccountsInEnglish()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, password);
        QFETCH(QByteArray, said);
        QTemporaryDir folder;
        const QString data = folder.filePath("data");
        // The name taken is an account's added first; every other refusal comes before anything is made.
        const bool taken = name == "taken";
        QList<std::pair<QByteArray, QString>> accounts{{name, password}};
        if (taken)
            accounts.prepend({"taken", "pw"});
        QProcess add;
        for (const auto& [account, secret] : accounts) {
            // The name's bytes as they are, which no QString could carry: the shell's printf makes them from octal
            // escapes, and a mark after them keeps a closing line break from being dropped with the command's end.
            QByteArray octal;
            for (const char byte : account)
                octal += '\\' + QByteArray::number(uchar(byte), 8).rightJustified(3, '0');
            add.start("/bin/sh",
                      {"-c", "name=$(printf \"$0\"; printf x); exec \"$1\" --data \"$2\" --add-account \"${name%x}\"",
                       QString::fromLatin1(octal), ServiceProcess::builtProgram(), data});
            add.write(secret.toUtf8() + '\n');
            add.closeWriteChannel();
            QVERIFY(add.waitForFinished(60000));
        }
        const bool created = said.startsWith("account created: ");
        said.replace("{store}", QFile::encodeName(data + "/service.db"));
        QCOMPARE(add.exitCode(), created ? 0 : 1);
        QCOMPARE(add.readAllStandardError(), created ? QByteArray() : said + '\n');
        QCOMPARE(add.readAllStandardOutput(), created ? said + '\n' : QByteArray());
        QCOMPARE(QFileInfo::exists(data), taken || created);
    }

    // Workers the system cannot start are refused at start, by their number and with the most that would start (the
    // threads that started less the service's own two), rather than ending the service as the threads fail; as many
    // as it can start serve. Run by root, whom no limit of processes binds, the test takes away the address space of
    // the threads' stacks instead.
    void refusesWorkersTheSystemCannotStart_data()
    {
        QTest::addColumn<QString>("workers");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("refused");
        QTest::newRow("more than the stacks fit")
            << QString("1000")
            << QString("--workers 1000: needs 1002 threads, and the system lets the service start (\\d+) now: it "
                       "takes a whole number from 1 to (\\d+)\n")
            << true;
        QTest::newRow("as many as fit") << QString("4") << QString("listening on") << false;
    }

    void refusesWorkersTheSystemCannotStart()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer maps terabytes of shadow memory: no limit on the address space fits it");
#endif
        QFETCH(QString, workers);
        QFETCH(QString, said);
        QFETCH(bool, refused);
        QTemporaryDir data;
        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.setChildProcessModifier([] {
            // 8 MB for each thread's stack in 2 GB: a few hundred threads beside the service's own mappings.
            const rlimit stack{8 << 20, 8 << 20};
            const rlimit space{rlim_t(2) << 30, rlim_t(2) << 30};
            setrlimit(RLIMIT_STACK, &stack);
            setrlimit(RLIMIT_AS, &space);
        });
        service.start(ServiceProcess::builtProgram(), {"--port", "0", "--data", data.path(), "--workers", workers});
        QString output;
        const QRegularExpression saying(said);
        const auto answered = [&] {
            output += QString::fromUtf8(service.readAll());
            return output.contains(saying) || service.state() == QProcess::NotRunning;
        };
        QVERIFY2(QTest::qWaitFor(answered, 60000) && answered() && output.contains(saying), qPrintable(output));
        if (!refused)
            service.kill();
        QVERIFY(service.state() == QProcess::NotRunning || service.waitForFinished(60000));
        if (refused) {
            QCOMPARE(service.exitStatus(), QProcess::NormalExit);
            QCOMPARE(service.exitCode(), 1);
            const QRegularExpressionMatch threads = saying.match(output);
            QCOMPARE(threads.captured(2).toInt(), threads.captured(1).toInt() - 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestServiceOptions)
#include "tst_serviceoptions.moc"
