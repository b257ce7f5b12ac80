#include "answerfile.h"
#include "answerspool.h"
#include "answertext.h"
#include "testmount.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// The text as its client receives it, a piece at a time; what could not be read, said.
QByteArray sent(const AnswerText& text)
{
    QByteArray whole;
    QByteArray buffer;
    for (qint64 offset = 0; offset < text.size();) {
        QByteArrayView piece;
        if (!text.read(offset, AnswerText::pieceSize, buffer, piece) || piece.isEmpty())
            return "unreadable at " + QByteArray::number(offset);
        whole += piece;
        offset += piece.size();
    }
    return whole;
}

std::shared_ptr<AnswerSpool> spoolIn(const QString& folder, qint64 limit, std::optional<qint64> diskReserve = {})
{
    auto spool = std::make_shared<AnswerSpool>(folder + "/answers", limit, diskReserve);
    QString error;
    return spool->prepare(error) ? spool : nullptr;
}

std::shared_ptr<AnswerSpool> spoolIn(const QTemporaryDir& dir, qint64 limit)
{
    return spoolIn(dir.path(), limit);
}

QStringList answersIn(const QTemporaryDir& dir)
{
    return QDir(dir.filePath("answers")).entryList(QDir::Files);
}

int filesIn(const QTemporaryDir& dir)
{
    return int(answersIn(dir).size());
}

// Appends pieces to a new answer of the spool until it fails or `most` have gone in; how many did.
int piecesTaken(const std::shared_ptr<AnswerSpool>& spool, int most, std::unique_ptr<AnswerText>& answer)
{
    answer = std::make_unique<AnswerText>(std::make_shared<AnswerFile>(spool));
    int taken = 0;
    while (taken < most && answer->append(QByteArray(AnswerText::pieceSize, 'x')))
        ++taken;
    return taken;
}

qint64 freeOnDisk(const QString& path)
{
    struct statvfs disk = {};
    return statvfs(QFile::encodeName(path).constData(), &disk) == 0 ? qint64(disk.f_bavail) * disk.f_frsize : -1;
}
} // namespace

// The text of an answer as a sync writes it, held in memory while small and in a file of the spool once large, and
// read back as its client takes it.
class TestAnswerText : public QObject
{
    Q_OBJECT

private slots:
    // An answer is a head, two texts written side by side as a table's deletions and rows are, and what comes
    // between and after them: whatever their sizes, it reads back in that order.
    void readsBackWhatWasWritten_data()
    {
        QTest::addColumn<int>("rowSize");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("inFile");
        QTest::newRow("a few short rows") << 10 << 5 << false;
        QTest::newRow("just under a piece") << 1000 << 60 << false;
        QTest::newRow("a piece and a little") << 1000 << 66 << true;
        QTest::newRow("many pieces") << 3000 << 1000 << true;
        QTest::newRow("a row larger than a piece") << 200000 << 2 << true;
    }

    void readsBackWhatWasWritten()
    {
        QFETCH(int, rowSize);
        QFETCH(int, rows);
        QFETCH(bool, inFile);
        QTemporaryDir dir;
        const auto spool = spoolIn(dir, qint64(1) << 30);
        QVERIFY(spool);
        AnswerText answer(std::make_shared<AnswerFile>(spool));
        AnswerText rowTexts = answer.sibling();
        AnswerText deletionTexts = answer.sibling();
        QByteArray expectedRows;
        QByteArray expectedDeletions;
        for (int i = 0; i < rows; ++i) {
            const QByteArray row(rowSize, char('a' + i % 26));
            const QByteArray deletion = QByteArray::number(i) + ';';
            QVERIFY(rowTexts.append(row));
            QVERIFY(deletionTexts.append(deletion));
            expectedRows += row;
            expectedDeletions += deletion;
        }
        QVERIFY(answer.append("[head]"));
        QVERIFY(answer.take(std::move(deletionTexts)));
        QVERIFY(answer.append("[middle]"));
        QVERIFY(answer.take(std::move(rowTexts)));
        QVERIFY(answer.append("[tail]"));
        QVERIFY(answer.finish());

        const QByteArray expected = "[head]" + expectedDeletions + "[middle]" + expectedRows + "[tail]";
        QCOMPARE(answer.size(), qint64(expected.size()));
        const QByteArray whole = sent(answer);
        QVERIFY2(whole == expected, whole.left(100).constData());
        QCOMPARE(filesIn(dir), inFile ? 1 : 0);
    }

    // All answers in files, those of every process sharing the folder, may take no more than the spool's limit: one
    // that would grow past it fails, said in the log, and the room of an answer comes back, its file removed, when
    // the answer goes.
    void keepsAnswersWithinTheLimit()
    {
        QTemporaryDir dir;
        const auto spool = spoolIn(dir, 4 * AnswerText::pieceSize);
        const auto otherProcess = spoolIn(dir, 4 * AnswerText::pieceSize);
        QVERIFY(spool && otherProcess);
        const QByteArray piece(AnswerText::pieceSize, 'x');
        auto first = std::make_unique<AnswerText>(std::make_shared<AnswerFile>(spool));
        for (int i = 0; i < 3; ++i)
            QVERIFY(first->append(piece));
        QVERIFY(first->finish());

        AnswerText second(std::make_shared<AnswerFile>(otherProcess));
        QVERIFY(second.append(piece));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("take all the .* MB they may \\(--answer-spool-limit\\)"));
        QVERIFY(!second.append(piece));
        QVERIFY(second.failed());
        QCOMPARE(filesIn(dir), 2);

        first.reset();
        QCOMPARE(filesIn(dir), 1);
        AnswerText third(std::make_shared<AnswerFile>(otherProcess));
        for (int i = 0; i < 3; ++i)
            QVERIFY(third.append(piece));
        QVERIFY(third.finish());
        QCOMPARE(sent(third), piece + piece + piece);
    }

    // What a process left is removed when the spool is made ready once the process no longer holds its lock file,
    // whatever process has its id now; what a running one holds stays.
    void removesOnlyWhatEndedProcessesLeft()
    {
        QTemporaryDir dir;
        const auto running = spoolIn(dir, qint64(1) << 30);
        QVERIFY(running);
        std::unique_ptr<AnswerText> waiting;
        QCOMPARE(piecesTaken(running, 2, waiting), 2);
        const QStringList kept = answersIn(dir);
        QCOMPARE(kept.size(), 1);
        // An ended process whose id is the test's own now, and one named by the id of a running process alone.
        const QString reused = QString("%1-0000dead").arg(getpid());
        for (const QString& name : {"." + reused + ".lock", reused + "-0", QString("%1-1").arg(getppid())}) {
            QFile file(dir.filePath("answers/" + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        QVERIFY(spoolIn(dir, qint64(1) << 30));
        QCOMPARE(answersIn(dir), kept);
        QVERIFY(!QFile::exists(dir.filePath("answers/." + reused + ".lock")));
    }

    // The room that a process which ended in the midst of its answers had taken comes back at the next start,
    // whether other processes share the folder then or not.
    void freesTheRoomOfAnEndedProcess_data()
    {
        QTest::addColumn<bool>("another");
        QTest::newRow("alone") << false;
        QTest::newRow("beside another process") << true;
    }

    void freesTheRoomOfAnEndedProcess()
    {
        QFETCH(bool, another);
        QTemporaryDir dir;
        const qint64 limit = 4 * AnswerText::pieceSize;
        const auto other = another ? spoolIn(dir, limit) : nullptr;
        const pid_t child = fork();
        if (child == 0) {
            std::unique_ptr<AnswerText> answer;
            const auto spool = spoolIn(dir, limit);
            // Ends without a word, as a process that is killed: nothing is given back.
            _exit(spool && piecesTaken(spool, 3, answer) == 3 ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(filesIn(dir), 1);

        std::unique_ptr<AnswerText> answer;
        QCOMPARE(piecesTaken(spoolIn(dir, limit), 4, answer), 4);
        QCOMPARE(filesIn(dir), 1);
    }

    // The folder of the answers is its owner's alone whatever mode it had, and so are those made for it.
    void makesTheFolderOwnerOnly_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("open to all") << 0777;
        QTest::newRow("readable by all") << 0755;
        QTest::newRow("missing, with the data folder") << 0;
    }

    void makesTheFolderOwnerOnly()
    {
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString data = dir.filePath("data");
        if (mode != 0)
            QVERIFY(QDir().mkpath(data + "/answers") && chmod(QFile::encodeName(data + "/answers"), mode) == 0);
        QVERIFY(spoolIn(data, 1024));
        QStringList made{data + "/answers"};
        if (mode == 0)
            made << data;
        for (const QString& folder : made) {
            struct stat status = {};
            QVERIFY(stat(QFile::encodeName(folder), &status) == 0);
            QCOMPARE(status.st_mode & 07777, 0700u);
        }
    }

    // A file the disk refuses is told with the system's reason, not taken for a full spool.
    void saysWhatTheDiskRefused()
    {
        QTemporaryDir dir;
        const auto spool = spoolIn(dir, qint64(1) << 30);
        QVERIFY(spool);
        QVERIFY(QDir(dir.filePath("answers")).removeRecursively());
        QTest::failOnWarning(QRegularExpression("--answer-"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be written: " +
                                                              QRegularExpression::escape(qt_error_string(ENOENT))));
        std::unique_ptr<AnswerText> answer;
        QCOMPARE(piecesTaken(spool, 2, answer), 0);
        QVERIFY(answer->failed());
    }

    // Answers waiting leave their disk its reserve, a tenth of it unless the operator says how much, however much
    // the spool's own limit would allow; the log names the reserve.
    void keepsTheDiskReserve_data()
    {
        // What the spool is told to leave free, -1 for its default; what that is on the 4 MB disk.
        QTest::addColumn<qint64>("told");
        QTest::addColumn<qint64>("reserve");
        QTest::newRow("a tenth of the disk") << qint64(-1) << qint64(4 * 1024 * 1024 / 10);
        QTest::newRow("as the operator says") << qint64(1024 * 1024) << qint64(1024 * 1024);
    }

    void keepsTheDiskReserve()
    {
        QFETCH(qint64, told);
        QFETCH(qint64, reserve);
        QTemporaryDir dir;
        const TestMount disk(TestMount::SmallDisk, dir.path());
        if (!disk.isMounted())
            QSKIP("a small disk needs root to mount");
        const auto spool = spoolIn(dir.path(), qint64(1) << 30, told < 0 ? std::nullopt : std::optional(told));
        QVERIFY(spool);
        disk.fill(2 * 1024 * 1024);
        const QString named = QString::number(double(reserve) / (1024 * 1024), 'f', 1);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("less than the " + named + " MB kept free for the store"));
        std::unique_ptr<AnswerText> answer;
        QVERIFY(piecesTaken(spool, 64, answer) >= 10);
        QVERIFY(answer->failed());
        QVERIFY2(freeOnDisk(dir.path()) >= reserve, QByteArray::number(freeOnDisk(dir.path())).constData());
    }

    // A file sent as it stands that is replaced while it is sent ends the answer, rather than mixing two files.
    void endsADownloadWhoseFileIsReplaced()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("setup.exe");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(3 * AnswerText::pieceSize, 'a')) > 0);
        file.close();
        const std::optional<AnswerText> download = AnswerText::ofFile(path);
        QVERIFY(download);
        QByteArray buffer;
        QByteArrayView piece;
        QVERIFY(download->read(0, AnswerText::pieceSize, buffer, piece));
        QCOMPARE(piece, QByteArray(AnswerText::pieceSize, 'a'));

        QFile newer(path + ".new");
        QVERIFY(newer.open(QIODevice::WriteOnly) && newer.write(QByteArray(3 * AnswerText::pieceSize, 'b')) > 0);
        newer.close();
        QVERIFY(QFile::remove(path) && QFile::rename(newer.fileName(), path));
        QVERIFY(!download->read(AnswerText::pieceSize, AnswerText::pieceSize, buffer, piece));
    }
};

QTEST_GUILESS_MAIN(TestAnswerText)
#include "tst_answertext.moc"
