#include "answerfile.h"
#include "answerspool.h"
#include "answertext.h"
#include "testmount.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
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

std::shared_ptr<AnswerSpool> spoolIn(const QTemporaryDir& dir, qint64 limit, std::optional<qint64> diskReserve = {})
{
    auto spool = std::make_shared<AnswerSpool>(dir.filePath("answers"), limit, diskReserve);
    QString error;
    return spool->prepare(error) ? spool : nullptr;
}

int filesIn(const QTemporaryDir& dir)
{
    return int(QDir(dir.filePath("answers")).entryList(QDir::Files).size());
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
} // namespace

// The text of an answer as a sync writes it, held in memory while small and in a file of the spool once large, and
// read back as its client takes it.
class TestAnswerText : public QObject
{
    Q_OBJECT

private slots:
    // An answer is a head, two texts written side by side as a table's deletions and rows are, and what comes
    // between and after them: whatever their sizes, it reads back in that order. A row of a piece or more goes to the
    // file straight, never through memory, which would hold it once more and keep its room after.
    void readsBackWhatWasWritten_data()
    {
        QTest::addColumn<int>("rowSize");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("inFile");
        QTest::newRow("a few short rows") << 10 << 5 << false;
        QTest::newRow("just under a piece") << 1000 << 60 << false;
        QTest::newRow("a piece and a little") << 1000 << 66 << true;
        QTest::newRow("many pieces") << 3000 << 1000 << true;
        QTest::newRow("rows of a piece") << int(AnswerText::pieceSize) << 3 << true;
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
            if (rowSize >= AnswerText::pieceSize)
                QCOMPARE(rowTexts.memory(), qint64(0));
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

    // All answers in files may take no more than the spool's limit: one that would grow past it fails, and the room
    // of an answer comes back, its file removed, when the answer goes.
    void keepsAnswersWithinTheLimit()
    {
        QTemporaryDir dir;
        const auto spool = spoolIn(dir, 4 * AnswerText::pieceSize);
        QVERIFY(spool);
        const QByteArray piece(AnswerText::pieceSize, 'x');
        auto first = std::make_unique<AnswerText>(std::make_shared<AnswerFile>(spool));
        for (int i = 0; i < 3; ++i)
            QVERIFY(first->append(piece));
        QVERIFY(first->finish());

        AnswerText second(std::make_shared<AnswerFile>(spool));
        QVERIFY(second.append(piece));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("--answer-spool-limit"));
        QVERIFY(!second.append(piece));
        QVERIFY(second.failed());
        QCOMPARE(filesIn(dir), 2);

        first.reset();
        QCOMPARE(filesIn(dir), 1);
        AnswerText third(std::make_shared<AnswerFile>(spool));
        for (int i = 0; i < 3; ++i)
            QVERIFY(third.append(piece));
        QVERIFY(third.finish());
        QCOMPARE(sent(third), piece + piece + piece);
    }

    // What a process left is removed, and the room it took of the limit all processes share comes back, when the spool
    // is made ready once the process no longer holds its lock file, whatever process has its id now; what a running
    // one holds stays.
    void removesWhatEndedProcessesLeft()
    {
        QTemporaryDir dir;
        const QDir answers(dir.filePath("answers"));
        const qint64 limit = 4 * AnswerText::pieceSize;
        const auto running = spoolIn(dir, limit);
        std::unique_ptr<AnswerText> kept;
        QVERIFY(running && piecesTaken(running, 2, kept) == 2);
        const QStringList keptFiles = answers.entryList(QDir::Files);
        const pid_t child = fork();
        if (child == 0) {
            // Ends without a word, as a process that is killed: nothing is given back.
            std::unique_ptr<AnswerText> answer;
            const auto spool = spoolIn(dir, limit);
            _exit(spool && piecesTaken(spool, 2, answer) == 2 ? 0 : 1);
        }
        int status = 0;
        QVERIFY(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        // An ended process whose id is the test's own now, and an answer named by a running process's id alone.
        const QString reused = QString("%1-0000dead").arg(getpid());
        for (const QString& name : {"." + reused + ".lock", reused + "-0", QString("%1-1").arg(getppid())}) {
            QFile file(answers.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        // The child's answer, the one of the ended process and the one named by no process of the spool's.
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^removed the answer files that ended processes left: 3, "));
        const auto next = spoolIn(dir, limit);
        QCOMPARE(answers.entryList(QDir::Files), keptFiles);
        QVERIFY(!answers.exists("." + reused + ".lock"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("--answer-spool-limit"));
        std::unique_ptr<AnswerText> answer;
        QCOMPARE(piecesTaken(next, 3, answer), 2);
    }

    // The folder of the answers is its owner's alone, whatever mode it had, and so are those made for it.
    void makesTheFolderOwnerOnly()
    {
        QTemporaryDir dir;
        const QStringList folders{dir.filePath("open/answers"), dir.filePath("data/answers"), dir.filePath("data")};
        const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QVERIFY(QDir().mkpath(folders[0]) && chmod(QFile::encodeName(folders[0]), 0755) == 0);
        QString error;
        QVERIFY(AnswerSpool(folders[0], 1024).prepare(error) && AnswerSpool(folders[1], 1024).prepare(error));
        for (const QString& folder : folders)
            QCOMPARE(QFileInfo(folder).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                     ownerOnly);
    }

    // Answers waiting leave their disk its reserve, a tenth of it unless the operator says how much, however much
    // the spool's own limit would allow; a file the disk refuses is told with the system's reason. The log says which.
    void saysWhatRefusedAnAnswer_data()
    {
        // What the spool is told to leave free (-1: its default) on the 4 MB disk, or 0 where its folder is gone.
        QTest::addColumn<qint64>("reserve");
        QTest::addColumn<QString>("said");
        QTest::newRow("a tenth of the disk") << qint64(-1) << "less than the 0.4 MB kept free for the store";
        QTest::newRow("as the operator says") << qint64(1024 * 1024) << "less than the 1.0 MB kept free for the store";
        QTest::newRow("no folder") << qint64(0) << "could not be written: " + qt_error_string(ENOENT);
    }

    void saysWhatRefusedAnAnswer()
    {
        QFETCH(qint64, reserve);
        QFETCH(QString, said);
        QTemporaryDir dir;
        std::optional<TestMount> disk;
        if (reserve != 0 && !disk.emplace(TestMount::SmallDisk, dir.path()).isMounted())
            QSKIP("a small disk needs root to mount");
        const auto spool = spoolIn(dir, qint64(1) << 30, reserve < 0 ? std::nullopt : std::optional(reserve));
        QVERIFY(spool);
        if (disk)
            disk->fill(2 * 1024 * 1024);
        else
            QVERIFY(QDir(dir.filePath("answers")).removeRecursively());
        QTest::failOnWarning(QRegularExpression("."));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(said)));
        std::unique_ptr<AnswerText> answer;
        QCOMPARE(piecesTaken(spool, 64, answer) >= 10, bool(disk));
        QVERIFY(answer->failed());
        QVERIFY(QStorageInfo(dir.path()).bytesAvailable() >= (reserve < 0 ? 4 * 1024 * 1024 / 10 : reserve));
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
